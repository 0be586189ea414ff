// Command line of voka-auth: global options, then commands, each with its own
// options.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "voka/client_authen.h"

constexpr int kExitSuccess = 0;
constexpr int kExitCommandFailed = 1;
constexpr int kExitUsage = 2;

// One command word and what followed it up to the next command word.
struct AuthCommand {
  std::string name;  // "dynamic-key", "static", "ekey", "ecard", "login", "get", "seal", "unseal", "check"
  std::map<std::string, std::string> options;  // option name without its dashes -> value (UTF-8)
  std::string argument;                        // the word after get, seal and unseal
  bool hasArgument = false;

  // The option's value, or an empty text when it was not given.
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

// kExitSuccess when the words form a valid command line; otherwise kExitUsage
// and a one-line message naming the offending word.
int ParseAuthOptions(const std::vector<std::string>& words, AuthOptions& options, std::string& error);

// The options that carry a field requests keep secret, in the order they are
// read from standard input when given as "-".
std::vector<std::string> SecretOptionNames();

// The text of --help.
std::string AuthUsageText();
// The text of --version: the name and the release.
std::string AuthVersionText();
