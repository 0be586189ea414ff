#include "voka-server/server_options.h"

#include <CLI/CLI.hpp>
#include <memory>

#include "voka/codec/decimal_integer.h"

namespace {

bool ParseListenAddress(const std::string& text, ListenAddress& address) {
  size_t colon = text.rfind(':');
  long port = 0;
  if (colon == std::string::npos || colon == 0 || !ParseInteger(text.substr(colon + 1), 0, 65535, port)) return false;
  address.host = text.substr(0, colon);
  address.port = static_cast<int>(port);
  return true;
}

std::string AddressText(const ListenAddress& address) { return address.host + ":" + std::to_string(address.port); }

// A value the parse function refuses is a usage error that names it.
template <typename Value, typename Parse>
CLI::Validator Accepted(Parse parse) {
  return CLI::Validator(
      [parse](const std::string& text) {
        Value scratch;
        return parse(text, scratch) ? std::string() : "bad value '" + text + "'";
      },
      "");
}

CLI::Option* AddListenOption(CLI::App& app, const char* name, ListenAddress& address, const std::string& description) {
  return app
      .add_option_function<std::string>(
          name, [&address](const std::string& text) { ParseListenAddress(text, address); }, description)
      ->type_name("HOST:PORT")
      ->check(Accepted<ListenAddress>(ParseListenAddress));
}

// Every option of voka-server, with its default; --help is made from them.
std::unique_ptr<CLI::App> DeclareCommandLine(ServerOptions& options) {
  auto app = std::make_unique<CLI::App>(
      "Reference account server: answers dynamic-key and login requests over UDP, HTTP and HTTPS.\n"
      "A development server: do not expose it to untrusted networks.",
      "voka-server");
  app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app->get_formatter()->column_width(26);
  AddListenOption(*app, "--udp", options.udp, "UDP challenge service; port 0: any free port")
      ->default_str(AddressText(options.udp));
  AddListenOption(*app, "--http", options.http, "HTTP validation service; port 0: any free port")
      ->default_str(AddressText(options.http));
  AddListenOption(*app, "--https", options.https,
                  "the same service over TLS (not served unless given; port 0: any free port)");
  app->add_option("--cert", options.certificatePath, "the https certificate, followed by any intermediate certificates")
      ->type_name("PEM");
  app->add_option("--key", options.keyPath, "the https certificate's private key")->type_name("PEM");
  app->add_option("--accounts", options.accountsPath,
                  "account file (default: the sample accounts installed with voka-server)")
      ->type_name("FILE");
  app->add_option("--key-secret", options.keySecretPath,
                  "the secret dynamic keys are made under, made (mode 0600) if absent; keys then outlive a "
                  "restart, and servers sharing the file accept each other's (default: drawn at start)")
      ->type_name("FILE");
  app->add_option_function<std::vector<std::string>>(
         "--trusted-proxy",
         [&options](const std::vector<std::string>& ranges) {
           for (const std::string& text : ranges) {
             options.trustedProxies.emplace_back();
             ParseAddressRange(text, options.trustedProxies.back());
           }
         },
         "a proxy whose X-Forwarded-For and PROXY protocol header name the client; repeatable")
      ->type_name("ADDRESS[/BITS]")
      ->check(Accepted<AddressRange>(ParseAddressRange));
  app->add_option_function<std::vector<std::string>>(
         "--fault",
         [&options](const std::vector<std::string>& modes) {
           for (const std::string& mode : modes) ParseFaultMode(mode, options.faults);
         },
         std::string("answer wrongly on purpose: ") + FaultModeNames())
      ->type_name("MODE")
      ->check(Accepted<FaultModes>(ParseFaultMode));
  app->add_option("--slow-seconds", options.faults.slowSeconds, "delay of the slow-body fault")
      ->type_name("N")
      ->check(CLI::Range(0, kLongestSlowSeconds))
      ->capture_default_str();
  app->add_flag("--quiet", options.quiet, "log only refusals and errors, not requests answered RETVALUE=0");
  app->add_flag("--version", options.version, "the release of voka-server");
  app->footer(
      "Prints 'listening udp=HOST:PORT http=HOST:PORT' on stdout once the services are up,\n"
      "followed by ' https=HOST:PORT' (HOST as given) when https is served,\n"
      "then one line per request on stderr, after its time (ISO 8601, UTC).\n"
      "Stops on SIGINT or SIGTERM, with a last line that counts the requests.");
  return app;
}

}  // namespace

int ParseServerOptions(int argc, const char* const* argv, ServerOptions& options, std::string& error) {
  const std::unique_ptr<CLI::App> app = DeclareCommandLine(options);
  try {
    app->parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    options.help = true;
    return 0;
  } catch (const CLI::ParseError& failure) {
    error = failure.what();
    return 2;
  }
  options.serveHttps = app->count("--https") != 0;
  if (options.serveHttps != (!options.certificatePath.empty() && !options.keyPath.empty())) {
    error = "--https needs --cert and --key, and they need --https";
    return 2;
  }
  const bool redirects =
      options.faults.http == HttpFault::kRedirectToHttp || options.faults.http == HttpFault::kRedirectToHttps;
  if (redirects && !options.serveHttps) {
    error = "the https-to-http and http-to-https faults need --https";
    return 2;
  }
  return 0;
}

std::string ServerUsageText() {
  ServerOptions defaults;
  return DeclareCommandLine(defaults)->help();
}

std::string ServerVersionText() { return "voka-server " VOKA_VERSION "\n"; }
