#include "programs/voka-auth/auth_options.h"

#include "codec/ansi_codepage.h"
#include "codec/decimal_integer.h"
#include "engine/result_code_table.h"
#include "protocol/request_kinds.h"

namespace {

struct CommandSpec {
  const char* name;
  std::vector<std::string> required;
  std::vector<std::string> optional;
  bool takesArgument;
};

const std::vector<CommandSpec>& CommandSpecs() {
  static const std::vector<CommandSpec> specs = {
      {"dynamic-key", {}, {"indication"}, false},
      {"static", {"user", "password", "app", "area"}, {"check-code", "indication"}, false},
      {"ekey", {"user", "ekey-password", "ekey-type"}, {"indication"}, false},
      {"ecard", {"user", "ecard-answer"}, {"indication"}, false},
      {"login", {"user", "password", "app", "area"}, {"check-code", "indication", "ekey-type"}, false},
      {"bench",
       {"rate", "duration"},
       {"concurrency", "max-logins", "accounts", "user", "password", "app", "area", "ekey-type", "csv", "client"},
       false},
      {"get", {}, {}, true},
      {"seal", {}, {}, true},
      {"unseal", {}, {}, true},
      {"check", {}, {}, false},
  };
  return specs;
}

// The request field each command option fills.
struct OptionField {
  const char* option;
  const char* field;
};
constexpr OptionField kOptionFields[] = {
    {"user", "USERID"},           {"password", "PWD"},         {"app", "APPID"},
    {"area", "AREAID"},           {"check-code", "CHECKCODE"}, {"indication", "INDICATION"},
    {"ekey-password", "EKEYPWD"}, {"ekey-type", "EKEYTYPE"},   {"ecard-answer", "ECARDPWD"},
};

const CommandSpec* FindCommand(const std::string& word) {
  for (const CommandSpec& spec : CommandSpecs()) {
    if (word == spec.name) return &spec;
  }
  return nullptr;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& candidate : names) {
    if (candidate == name) return true;
  }
  return false;
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

// Splits "--name=value" into name and value; "--name" gives no inline value.
void SplitOptionWord(const std::string& word, std::string& name, std::string& value, bool& hasValue) {
  size_t equals = word.find('=');
  hasValue = equals != std::string::npos;
  name = word.substr(2, hasValue ? equals - 2 : std::string::npos);
  value = hasValue ? word.substr(equals + 1) : std::string();
}

class Parser {
 public:
  Parser(const std::vector<std::string>& words, AuthOptions& options, std::string& error)
      : words_(words), options_(options), error_(error) {}

  int Run() {
    while (index_ < words_.size() && options_.commands.empty()) {
      const std::string& word = words_[index_];
      if (FindCommand(word)) break;
      if (!ParseGlobalOption()) return kExitUsage;
    }
    while (index_ < words_.size()) {
      if (!ParseCommand()) return kExitUsage;
    }
    if (options_.help || options_.version) return kExitSuccess;
    if (options_.commands.empty()) return Fail("no command given");
    return kExitSuccess;
  }

 private:
  int Fail(const std::string& message) {
    error_ = message;
    return kExitUsage;
  }

  // The value of an option: inline after '=' or the next word, taken as it is.
  bool TakeValue(const std::string& word, bool hasInline, const std::string& inlineValue, std::string& value) {
    if (hasInline) {
      value = inlineValue;
      return true;
    }
    if (index_ >= words_.size()) {
      Fail("option '" + word + "' needs a value");
      return false;
    }
    value = words_[index_++];
    return true;
  }

  bool ParseGlobalOption() {
    const std::string word = words_[index_++];
    if (word == "-h" || word == "--help") {
      options_.help = true;
      return true;
    }
    if (word == "--version") {
      options_.version = true;
      return true;
    }
    if (word == "-v" || word == "--verbose") {
      options_.verbose = true;
      return true;
    }
    if (word.compare(0, 2, "--") != 0) {
      Fail("unknown command '" + word + "'");
      return false;
    }
    std::string name, inlineValue, value;
    bool hasInline = false;
    SplitOptionWord(word, name, inlineValue, hasInline);
    if (name == "json" && !hasInline) {
      options_.json = true;
      return true;
    }
    if (name == "show-secrets" && !hasInline) {
      options_.showSecrets = true;
      return true;
    }
    if (name != "udp" && name != "http" && name != "cacert" && name != "timeout" && name != "codepage") {
      Fail("unknown option '" + word + "'");
      return false;
    }
    if (!TakeValue(word, hasInline, inlineValue, value)) return false;
    long number = 0;
    if (name == "udp") {
      options_.udpServer = value;
    } else if (name == "http") {
      options_.httpServer = value;
    } else if (name == "cacert") {
      options_.caBundle = value;
    } else if (name == "timeout") {
      if (!ParseInteger(value, 0, 86400, number)) {
        Fail("bad value '" + value + "' for --timeout (seconds, 0 to 86400)");
        return false;
      }
      options_.timeoutSeconds = static_cast<int>(number);
    } else {
      if (!ParseInteger(value, 1, 65535, number)) {
        Fail("bad value '" + value + "' for --codepage (a code page number)");
        return false;
      }
      if (!IsAnsiCodePageAvailable(static_cast<unsigned>(number))) {
        Fail("unknown code page '" + value + "' for --codepage");
        return false;
      }
      options_.codePage = static_cast<unsigned>(number);
    }
    return true;
  }

  bool ParseCommand() {
    const std::string& word = words_[index_++];
    const CommandSpec* spec = FindCommand(word);
    if (!spec) {
      Fail("unknown command '" + word + "'");
      return false;
    }
    AuthCommand command;
    command.name = spec->name;
    if (spec->takesArgument) {
      if (index_ >= words_.size()) {
        Fail("command '" + word + "' needs an argument");
        return false;
      }
      command.argument = words_[index_++];
      command.hasArgument = true;
    }
    while (index_ < words_.size() && !FindCommand(words_[index_])) {
      const std::string option = words_[index_++];
      if (option == "-h" || option == "--help") {
        options_.help = true;
        continue;
      }
      std::string name, inlineValue, value;
      bool hasInline = false;
      if (option.compare(0, 2, "--") != 0) {
        Fail("unexpected word '" + option + "' after '" + word + "'");
        return false;
      }
      SplitOptionWord(option, name, inlineValue, hasInline);
      if (!Contains(spec->required, name) && !Contains(spec->optional, name)) {
        Fail("unknown option '" + option + "' for '" + word + "'");
        return false;
      }
      if (!TakeValue(option, hasInline, inlineValue, value)) return false;
      command.options[name] = value;
    }
    // "voka-auth static --help" asks for the help text, not for a login.
    for (const std::string& name : spec->required) {
      if (!options_.help && !command.options.count(name)) {
        Fail("command '" + word + "' needs --" + name);
        return false;
      }
    }
    options_.commands.push_back(command);
    return true;
  }

  const std::vector<std::string>& words_;
  AuthOptions& options_;
  std::string& error_;
  size_t index_ = 0;
};

}  // namespace

std::vector<std::string> SecretOptionNames() {
  std::vector<std::string> names;
  for (const OptionField& entry : kOptionFields) {
    if (IsSecretField(entry.field)) names.emplace_back(entry.option);
  }
  return names;
}

std::string AuthCommand::Option(const std::string& name) const {
  auto found = options.find(name);
  return found == options.end() ? std::string() : found->second;
}

int ParseAuthOptions(const std::vector<std::string>& words, AuthOptions& options, std::string& error) {
  return Parser(words, options, error).Run();
}

std::string DefaultUdpServer() { return std::string(kDefaultHost) + ":" + std::to_string(kDefaultUdpPort); }

std::string DefaultHttpServer() {
  return "http://" + std::string(kDefaultHost) + ":" + std::to_string(kDefaultHttpPort);
}

std::string AuthUsageText() {
  return std::string(
             "Usage: voka-auth [GLOBAL OPTIONS] COMMAND [OPTIONS] [COMMAND [OPTIONS]]...\n"
             "Runs the commands in order on one login engine, as a front end would.\n"
             "\n"
             "Global options:\n"
             "  --udp HOST[:PORT]     challenge server for UDP requests (default " +
             DefaultUdpServer() +
             ")\n"
             "  --http BASE_URL       validation server for HTTP requests (default " +
             DefaultHttpServer() +
             ")\n"
             "  --cacert FILE         trust only the CAs in this PEM file for https (default: the system's)\n"
             "  --timeout SECONDS     how long a UDP request waits for its answer (default " +
             std::to_string(kDefaultUdpTimeOutSeconds) +
             ")\n"
             "  --codepage N          ANSI code page of the engine's texts (default " +
             std::to_string(kDefaultCodePage) +
             ")\n"
             "  --json                one JSON object per command and line\n"
             "  -v, --verbose         trace every exchange to stderr, passwords and card answers as ***\n"
             "  --show-secrets        with -v, show passwords and card answers\n"
             "  -h, --help            this text\n"
             "  --version             the release of voka-auth\n"
             "\n"
             "Commands:\n"
             "  dynamic-key [--indication TEXT]\n"
             "      request the dynamic key (UDP first, HTTP for good when UDP fails)\n"
             "  static --user ID --password PWD --app APPID --area AREAID [--check-code CODE] [--indication TEXT]\n"
             "      account login; an e-key account also gets EKEYPWD from the USB token\n"
             "  ekey --user ID --ekey-password PWD --ekey-type TYPE [--indication TEXT]\n"
             "      e-key login\n"
             "  ecard --user ID --ecard-answer ANSWER [--indication TEXT]\n"
             "      matrix card login, with the digits at the POSITION the account login asked for\n"
             "  login --user ID --password PWD --app APPID --area AREAID [--check-code CODE]\n"
             "        [--indication TEXT] [--ekey-type TYPE]\n"
             "      dynamic-key, then static, then ekey with EKEYPWD when AUTHENSTATE is 4\n"
             "  bench --rate N --duration SECONDS [--concurrency C] [--max-logins N]\n"
             "        (--accounts FILE | --user ID --password PWD) [--app APPID] [--area AREAID]\n"
             "        [--ekey-type TYPE] [--csv FILE] [--client load|engine]\n"
             "      whole logins, N starts a second, at most C at a time (default 1), each\n"
             "      timed from when it was due; the accounts of a voka-server account file in\n"
             "      turn; prints the achieved rate, failures by cause and latency percentiles,\n"
             "      and writes one CSV row per login. Ctrl-C stops it with the figures so far.\n"
             "      --client engine logs in with the engine, a socket a request, as a front end\n"
             "      does; the default load client keeps many logins on a socket a thread.\n"
             "  get NAME\n"
             "      print one answer field\n"
             "  seal TEXT\n"
             "      print the sealed Base64 text of TEXT's bytes (pass phrase qpqp)\n"
             "  unseal BASE64\n"
             "      print the parameter text that a sealed text opens to\n"
             "  check\n"
             "      send the dynamic-key request over UDP, then over HTTP, and tell how each\n"
             "      went, the machine identity a login sends, and which transport a login\n"
             "      would use: a 'STEP: TEXT' line per step, the last one\n"
             "      'verdict: udp|http|none: ...'\n"
             "\n"
             "Texts are taken as UTF-8 and handed to the engine in the ANSI code page;\n"
             "a text the code page cannot hold is a usage error, nothing is sent.\n"
             "Answer fields are printed in UTF-8, control bytes as \\xHH. A missing\n"
             "optional text is sent empty. --password -, --ekey-password - and\n"
             "--ecard-answer - read the value as one line from standard input, of at\n"
             "most " +
             std::to_string(kLongestInputLine) +
             " bytes.\n"
             "The USB token stand-in reads its secret, in hex, from VOKA_SOFT_TOKEN_SECRET;\n"
             "VOKA_CA_BUNDLE is the default of --cacert. On Windows https trusts the\n"
             "system's certificate store alone, and --cacert is refused.\n"
             "\n"
             "Output: 'COMMAND: RESULT' (a RESULT other than 0 followed by its name and\n"
             "meaning when it has one) and the answer fields, one NAME=VALUE a line;\n"
             "with --json, {\"command\":...,\"result\":...,\"fields\":{...}} per command.\n"
             "\n"
             "Results of the login commands, beside the account server's own RETVALUE:\n") +
         RequestResultLines() +
         "get prints 0 for a field that is present, -1 for one that is absent.\n"
         "\n"
         "Exit status: 0 when every command returned 0 (and login left the user\n"
         "logged in, AUTHENSTATE 1; bench did every login; check found a server\n"
         "a login can reach), 1 at the first command that did not (later commands\n"
         "do not run), 2 for a usage error.\n";
}

std::string AuthVersionText() { return "voka-auth " VOKA_VERSION "\n"; }
