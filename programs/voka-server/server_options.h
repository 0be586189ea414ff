// Command line of voka-server.
#pragma once

#include <string>
#include <vector>

#include "voka-server/fault_modes.h"
#include "voka-server/trusted_proxies.h"
#include "voka/limits.h"

struct ListenAddress {
  std::string host;
  int port = 0;  // 0: the system picks a free port
};

struct ServerOptions {
  ListenAddress udp{kDefaultHost, kDefaultUdpPort};
  ListenAddress http{kDefaultHost, kDefaultHttpPort};
  ListenAddress https;  // served only with serveHttps
  bool serveHttps = false;
  std::string certificatePath;  // PEM, for https
  std::string keyPath;          // PEM, for https
  std::string accountsPath;
  std::string keySecretPath;                 // empty: a secret drawn at start
  std::vector<AddressRange> trustedProxies;  // whose forwarded client addresses are believed
  FaultModes faults;
  bool quiet = false;  // log only refusals and errors
  bool help = false;
  bool version = false;
};

// 0 when valid; otherwise 2 and a one-line message naming the bad word.
int ParseServerOptions(int argc, const char* const* argv, ServerOptions& options, std::string& error);

std::string ServerUsageText();
// The text of --version: the name and the release.
std::string ServerVersionText();
