#include "programs/voka-server/server_options.h"

#include "codec/decimal_integer.h"

namespace {

bool ParseListenAddress(const std::string& text, ListenAddress& address) {
  size_t colon = text.rfind(':');
  long port = 0;
  if (colon == std::string::npos || colon == 0 || !ParseInteger(text.substr(colon + 1), 0, 65535, port)) return false;
  address.host = text.substr(0, colon);
  address.port = static_cast<int>(port);
  return true;
}

}  // namespace

int ParseServerOptions(int argc, const char* const* argv, ServerOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "-h" || word == "--help") {
      options.help = true;
      continue;
    }
    if (word == "--version") {
      options.version = true;
      continue;
    }
    if (word == "--quiet") {
      options.quiet = true;
      continue;
    }
    if (word != "--udp" && word != "--http" && word != "--https" && word != "--cert" && word != "--key" &&
        word != "--accounts" && word != "--fault" && word != "--slow-seconds") {
      error = "unknown option '" + word + "'";
      return 2;
    }
    if (i + 1 >= argc) {
      error = "option '" + word + "' needs a value";
      return 2;
    }
    const std::string value = argv[++i];
    long number = 0;
    bool valid = true;
    if (word == "--udp") {
      valid = ParseListenAddress(value, options.udp);
    } else if (word == "--http") {
      valid = ParseListenAddress(value, options.http);
    } else if (word == "--https") {
      valid = ParseListenAddress(value, options.https);
      options.serveHttps = true;
    } else if (word == "--cert") {
      options.certificatePath = value;
    } else if (word == "--key") {
      options.keyPath = value;
    } else if (word == "--accounts") {
      options.accountsPath = value;
    } else if (word == "--fault") {
      valid = ParseFaultMode(value, options.faults);
    } else {
      valid = ParseInteger(value, 0, 3600, number);
      options.faults.slowSeconds = static_cast<int>(number);
    }
    if (!valid) {
      error = "bad value '" + value + "' for " + word;
      return 2;
    }
  }
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
  return std::string(
             "Usage: voka-server [OPTION]...\n"
             "Reference account server: answers dynamic-key and login requests over UDP, HTTP and HTTPS.\n"
             "A development server: do not expose it to untrusted networks.\n"
             "\n"
             "  --udp HOST:PORT     UDP challenge service (default 127.0.0.1:8025; port 0: any free port)\n"
             "  --http HOST:PORT    HTTP validation service (default 127.0.0.1:8080; port 0: any free port)\n"
             "  --https HOST:PORT   the same service over TLS (not served unless given; port 0: any free port)\n"
             "  --cert PEM          the https certificate, followed by any intermediate certificates\n"
             "  --key PEM           the https certificate's private key\n"
             "  --accounts FILE     account file (default: the sample accounts installed with voka-server)\n"
             "  --fault MODE        answer wrongly on purpose: ") +
         FaultModeNames() +
         "\n"
         "  --slow-seconds N    delay of the slow-body fault (default 8)\n"
         "  --quiet             log only refusals and errors, not requests answered RETVALUE=0\n"
         "  -h, --help          this text\n"
         "  --version           the release of voka-server\n"
         "\n"
         "Prints 'listening udp=HOST:PORT http=HOST:PORT' on stdout once the services are up,\n"
         "followed by ' https=HOST:PORT' (HOST as given) when https is served,\n"
         "then one line per request on stderr, after its time (ISO 8601, UTC).\n"
         "Stops on SIGINT or SIGTERM, with a last line that counts the requests.\n";
}

std::string ServerVersionText() { return "voka-server " VOKA_VERSION "\n"; }
