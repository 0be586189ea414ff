// Command line of voka-auth: commands, each with its own options, and the
// global options, which may stand before, between or after the commands and
// apply to the whole run. Declared once (auth_options.cpp, bench_options.cpp);
// the parser, --help and the manual page read the declarations.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "voka/client_authen.h"

struct RequestKindRow;  // protocol/request_kinds.h

namespace CLI {
class App;
}

constexpr int kExitSuccess = 0;
constexpr int kExitCommandFailed = 1;
constexpr int kExitUsage = 2;

// One command word and its options.
struct AuthCommand {
  std::string name;  // "dynamic-key", "static", "ekey", "ecard", "login", "get", "seal", "unseal", "check", "bench"
  // Option name without its dashes -> value (UTF-8): each option given, and
  // each one not given that has a default.
  std::map<std::string, std::string> options;
  std::string argument;  // the word after get, seal and unseal
  bool hasArgument = false;

  // The option's value, or an empty text when it was not given and has no default.
  std::string Option(const std::string& name) const;
};

// HOST:PORT and the base URL of the servers on this machine's loopback.
std::string DefaultUdpServer();
std::string DefaultHttpServer();

struct AuthOptions {
  std::string udpServer = DefaultUdpServer();
  std::string httpServer = DefaultHttpServer();
  std::string caBundle;  // PEM file of the CAs that https servers must come from
  int timeoutSeconds = kDefaultUdpTimeOutSeconds;
  unsigned codePage = kDefaultCodePage;
  bool json = false;
  bool verbose = false;
  bool showSecrets = false;  // -v prints passwords and card answers unmasked
  bool help = false;
  bool version = false;
  std::vector<AuthCommand> commands;
};

// The fields a request command gives its request, each under its field's
// name with its option's value: those the login holds (GUID, and the
// application and area after the account login) are left to the engine.
std::vector<std::pair<const char*, std::string>> CommandFields(const RequestKindRow& row, const AuthCommand& command);

// kExitSuccess when the words form a valid command line; otherwise kExitUsage
// and a one-line message naming the offending word.
int ParseAuthOptions(const std::vector<std::string>& words, AuthOptions& options, std::string& error);

// Declares on command the option that fills the request field (protocol/field_names.h),
// with its one default; required makes it one the command cannot do without.
void AddFieldOption(CLI::App& command, const char* field, bool required);

// The options that carry a field requests keep secret, in the order they are
// read from standard input when given as "-".
std::vector<std::string> SecretOptionNames();

// The text of --help.
std::string AuthUsageText();
// The text of --version: the name and the release.
std::string AuthVersionText();
