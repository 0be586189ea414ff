#include "voka-auth/auth_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>

#include "voka-auth/bench_options.h"
#include "voka/codec/ansi_codepage.h"
#include "voka/protocol/request_kinds.h"
#include "voka/protocol/result_code_table.h"

namespace {

// The option that fills each request field a user gives. The engine fills
// the others (GUID, CLIENTIP, MAC) itself.
struct FieldOption {
  const char* field;
  const char* option;
  const char* valueName;
  const char* description;
  const char* fallback;  // the default; empty: none
  // The account login sends it, and the requests after it repeat what it
  // sent: an option of the first request kind that carries it only.
  bool fromAccountLogin;
};

constexpr FieldOption kFieldOptions[] = {
    {kFieldUserId, "user", "ID", "the account", "", false},
    {kFieldPassword, "password", "PWD", "the account's password", "", false},
    {kFieldAppId, "app", "APPID", "the application logged in to", kDefaultAppId, true},
    {kFieldAreaId, "area", "AREAID", "the area logged in to", kDefaultAreaId, true},
    {kFieldCheckCode, "check-code", "CODE", "the check code, if the server asks for one", "", false},
    {kFieldIndication, "indication", "TEXT", "the indication sent along", "", false},
    {kFieldEKeyPassword, "ekey-password", "PWD", "the USB token's password", "", false},
    {kFieldEKeyType, "ekey-type", "TYPE", "the USB token's type", "", false},
    {kFieldECardAnswer, "ecard-answer", "ANSWER", "the matrix card's digits at the POSITION asked for", "", false},
};

const FieldOption* FindFieldOption(const std::string& field) {
  for (const FieldOption& entry : kFieldOptions) {
    if (field == entry.field) return &entry;
  }
  return nullptr;
}

// A request kind's fields as its row lists them (both transports carry the same).
std::vector<RequestField> RowFields(const RequestKindRow& row) {
  std::vector<RequestField> fields;
  for (size_t i = 0; i < kMaxRequestFields && row.udpFields[i].name != nullptr; ++i) fields.push_back(row.udpFields[i]);
  return fields;
}

bool FirstRowCarrying(const RequestKindRow& row, const std::string& field) {
  for (const RequestKindRow& earlier : AllRequestKinds()) {
    for (const RequestField& carried : RowFields(earlier)) {
      if (field == carried.name) return earlier.kind == row.kind;
    }
  }
  return false;
}

// Calls visit(field, option) for each of the row's fields that a user gives
// on its command line; the others the login holds or the machine tells.
template <typename Visit>
void ForEachRowOption(const RequestKindRow& row, Visit visit) {
  for (const RequestField& field : RowFields(row)) {
    const FieldOption* entry = FindFieldOption(field.name);
    if (entry == nullptr || (entry->fromAccountLogin && !FirstRowCarrying(row, field.name))) continue;
    visit(field, *entry);
  }
}

// A request command's options. Those always sent and without a default are
// required.
void AddRowOptions(CLI::App& command, const RequestKindRow& row) {
  ForEachRowOption(row, [&command](const RequestField& field, const FieldOption& entry) {
    AddFieldOption(command, field.name, field.use != FieldUse::kOptional && *entry.fallback == '\0');
  });
}

// One line per result a login command can print, from the engine's table.
std::string RequestResultLines() {
  std::string lines;
  for (const ResultCodeEntry& entry : ResultCodeTable()) {
    if (entry.source != ResultSource::kRequest) continue;
    std::string code = std::to_string(entry.code);
    std::string name = entry.name;
    code.resize(11, ' ');
    name.resize(18, ' ');
    lines += "  " + code + name + entry.meaning + "\n";
  }
  return lines;
}

std::string UsageFooter() {
  return "Global options apply to the whole run wherever they stand, before, between\n"
         "or after the commands; given twice, the last one counts.\n"
         "\n"
         "Texts are taken as UTF-8 and handed to the engine in the ANSI code page;\n"
         "a text the code page cannot hold is a usage error, nothing is sent.\n"
         "Answer fields are printed in UTF-8, control bytes as \\xHH. A missing\n"
         "optional text is sent empty. --password -, --ekey-password - and\n"
         "--ecard-answer - read the value as one line from standard input, of at\n"
         "most " +
         std::to_string(kLongestInputLine) +
         " bytes. A value that starts with '-' is given as --option=VALUE,\n"
         "an argument that does after '--' (seal -- -TEXT).\n"
         "The USB token stand-in reads its secret, in hex, from VOKA_SOFT_TOKEN_SECRET;\n"
         "VOKA_CA_BUNDLE is the default of --cacert. On Windows https trusts the\n"
         "system's certificate store alone, and --cacert is refused.\n"
         "\n"
         "Output: 'COMMAND: RESULT' (a RESULT other than 0 followed by its name and\n"
         "meaning when it has one) and the answer fields, one NAME=VALUE a line;\n"
         "with --json, {\"schema\":1,\"command\":...,\"result\":...,\"fields\":{...}} per\n"
         "command, as docs/schemas describe.\n"
         "\n"
         "Results of the login commands, beside the account server's own RETVALUE:\n" +
         RequestResultLines() +
         "get prints 0 for a field that is present, -1 for one that is absent.\n"
         "\n"
         "Exit status: 0 when every command returned 0 (and login left the user\n"
         "logged in, AUTHENSTATE 1; bench did every login; check found a server\n"
         "a login can reach), 1 at the first command that did not (later commands\n"
         "do not run), 2 for a usage error.\n";
}

// --help lists each command with its argument and options under its
// description, in lines help2man turns into a manual page.
class AuthHelpFormatter : public CLI::Formatter {
 public:
  AuthHelpFormatter() { column_width(30); }

  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent() != nullptr) return CLI::Formatter::make_usage(app, name);
    return "Usage: " + name + " COMMAND [OPTIONS] [COMMAND [OPTIONS]]...\n";
  }

  std::string make_expanded(const CLI::App* command) const override {
    std::string out = "  " + command->get_name();
    std::string options;
    for (const CLI::Option* option : command->get_options()) {
      if (option == command->get_help_ptr()) continue;
      if (option->get_positional()) out += " " + option->get_name();
      if (!option->get_positional()) options += "  " + make_option(option, false);
    }
    return out + "  " + command->get_description() + "\n" + options;
  }
};

// A command's options and argument as the command line gave them, or their
// defaults.
AuthCommand TakeCommand(CLI::App& command) {
  AuthCommand taken;
  taken.name = command.get_name();
  for (const CLI::Option* option : command.get_options()) {
    if (option == command.get_help_ptr()) continue;
    const bool given = option->count() != 0;
    if (!given && option->get_default_str().empty()) continue;
    const std::string value = given ? option->results().back() : option->get_default_str();
    if (option->get_positional()) {
      taken.argument = value;
      taken.hasArgument = true;
    } else {
      taken.options[option->get_lnames().front()] = value;
    }
  }
  return taken;
}

// The whole command line; its commands land in options.commands as each one's
// words end, so a command may come again with other options.
std::unique_ptr<CLI::App> DeclareCommandLine(AuthOptions& options) {
  auto app =
      std::make_unique<CLI::App>("Runs the commands in order on one login engine, as a front end would.", "voka-auth");
  app->fallthrough();  // global options after a command word
  app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app->formatter(std::make_shared<AuthHelpFormatter>());
  app->option_defaults()->group("Global options");
  app->set_help_flag("-h,--help", "this text, after a command word too")->group("Global options");
  app->footer(UsageFooter());

  app->add_option("--udp", options.udpServer, "challenge server for UDP requests")
      ->type_name("HOST[:PORT]")
      ->capture_default_str();
  app->add_option("--http", options.httpServer, "validation server for HTTP requests")
      ->type_name("BASE_URL")
      ->capture_default_str();
  app->add_option("--cacert", options.caBundle, "trust only the CAs in this PEM file for https")->type_name("FILE");
  app->add_option("--timeout", options.timeoutSeconds, "how long a UDP request waits for its answer")
      ->type_name("SECONDS")
      ->check(CLI::Range(0, 86400))
      ->capture_default_str();
  app->add_option("--codepage", options.codePage, "ANSI code page of the engine's texts")
      ->type_name("N")
      ->check(CLI::Validator(
          [](const std::string& text) {
            unsigned number = 0;
            const bool known = CLI::detail::lexical_cast(text, number) && number >= 1 && number <= 65535 &&
                               IsAnsiCodePageAvailable(number);
            return known ? std::string() : "unknown code page " + text;
          },
          ""))
      ->capture_default_str();
  app->add_flag("--json", options.json, "one JSON object per command and line");
  app->add_flag("-v,--verbose", options.verbose, "trace every exchange to stderr, passwords and card answers as ***");
  app->add_flag("--show-secrets", options.showSecrets, "with -v, show passwords and card answers");
  app->add_flag("--version", options.version, "the release of voka-auth");

  std::vector<CLI::App*> commands;
  for (const RequestKindRow& row : AllRequestKinds()) {
    CLI::App* command = app->add_subcommand(row.name, row.summary);
    AddRowOptions(*command, row);
    commands.push_back(command);
  }

  CLI::App* login = app->add_subcommand(
      "login", "dynamic-key, then static, then ekey with EKEYPWD when AUTHENSTATE is 4, or ecard when it is 2");
  AddRowOptions(*login, RowOf(RequestKind::kStaticLogin));
  AddFieldOption(*login, kFieldEKeyType, false);
  AddFieldOption(*login, kFieldECardAnswer, false);
  commands.push_back(login);

  CLI::App* bench = app->add_subcommand(
      "bench",
      "whole logins, N starts a second, at most C at a time, each timed from when it was due; the accounts "
      "of --accounts in turn, or the one of --user and --password; prints the achieved rate, failures by "
      "cause and latency percentiles. Ctrl-C stops it with the figures so far.");
  AddBenchOptions(*bench);
  commands.push_back(bench);

  const struct {
    const char* name;
    const char* argument;
    const char* description;
    const char* argumentDescription;
  } withArgument[] = {
      {"get", "NAME", "print one answer field", "the field's name"},
      {"seal", "TEXT", "print the sealed Base64 text of TEXT's bytes (pass phrase qpqp)", "a parameter text"},
      {"unseal", "BASE64", "print the parameter text that a sealed text opens to", "a sealed text"},
  };
  for (const auto& entry : withArgument) {
    CLI::App* command = app->add_subcommand(entry.name, entry.description);
    command->add_option(entry.argument)->description(entry.argumentDescription)->required();
    commands.push_back(command);
  }
  commands.push_back(app->add_subcommand(
      "check",
      "send the dynamic-key request over UDP, then over HTTP, and tell how each went, the machine identity a "
      "login sends, and which transport a login would use: a 'STEP: TEXT' line per step, the last one "
      "'verdict: udp|http|none: ...'"));

  for (CLI::App* command : commands) {
    command->group("Commands");
    command->parse_complete_callback([command, &options] {
      options.commands.push_back(TakeCommand(*command));
      command->clear();  // ready for the same command word again
    });
  }
  return app;
}

}  // namespace

void AddFieldOption(CLI::App& command, const char* field, bool required) {
  const FieldOption& entry = *FindFieldOption(field);
  std::string description = entry.description;
  if (IsSecretField(field)) description += "; - reads it from standard input";
  CLI::Option* option =
      command.add_option(std::string("--") + entry.option)->description(description)->type_name(entry.valueName);
  if (required) option->required();
  if (*entry.fallback != '\0') option->default_str(entry.fallback);
}

std::vector<std::string> SecretOptionNames() {
  std::vector<std::string> names;
  for (const FieldOption& entry : kFieldOptions) {
    if (IsSecretField(entry.field)) names.emplace_back(entry.option);
  }
  return names;
}

std::vector<std::pair<const char*, std::string>> CommandFields(const RequestKindRow& row, const AuthCommand& command) {
  std::vector<std::pair<const char*, std::string>> fields;
  ForEachRowOption(row, [&](const RequestField& field, const FieldOption& entry) {
    fields.emplace_back(field.name, command.Option(entry.option));
  });
  return fields;
}

std::string AuthCommand::Option(const std::string& name) const {
  auto found = options.find(name);
  return found == options.end() ? std::string() : found->second;
}

int ParseAuthOptions(const std::vector<std::string>& words, AuthOptions& options, std::string& error) {
  const std::unique_ptr<CLI::App> app = DeclareCommandLine(options);
  std::vector<std::string> reversed(words.rbegin(), words.rend());  // CLI11 takes them last first
  try {
    app->parse(reversed);
  } catch (const CLI::CallForHelp&) {
    options.help = true;
    return kExitSuccess;
  } catch (const CLI::ParseError& failure) {
    error = failure.what();
    return kExitUsage;
  }
  if (options.help || options.version) return kExitSuccess;
  if (options.commands.empty()) {
    error = "no command given";
    return kExitUsage;
  }
  return kExitSuccess;
}

std::string DefaultUdpServer() { return std::string(kDefaultHost) + ":" + std::to_string(kDefaultUdpPort); }

std::string DefaultHttpServer() {
  return "http://" + std::string(kDefaultHost) + ":" + std::to_string(kDefaultHttpPort);
}

std::string AuthUsageText() {
  AuthOptions defaults;
  return DeclareCommandLine(defaults)->help("", CLI::AppFormatMode::All);
}

std::string AuthVersionText() { return "voka-auth " VOKA_VERSION "\n"; }
