// voka-auth: logs in from a terminal, the way a front end drives the component.
#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "voka-auth/auth_commands.h"
#include "voka-auth/auth_options.h"
#include "voka-auth/auth_process.h"

namespace {

int Main(int argc, char** argv) {
  if (!KeepSecretsOutOfCoreDumps()) {
    std::cerr << "voka-auth: cannot turn core dumps off, which would hold the secrets\n";
    return kExitCommandFailed;
  }
  PrepareTextOutput();
  const std::vector<std::string> words = CommandLineWords(argc, argv);
  AuthOptions options;
  std::string error;
  if (ParseAuthOptions(words, options, error) != kExitSuccess) {
    std::cerr << "voka-auth: " << error << " (see voka-auth --help)\n";
    return kExitUsage;
  }
  if (options.help) {
    std::cout << AuthUsageText();
    return kExitSuccess;
  }
  if (options.version) {
    std::cout << AuthVersionText();
    return kExitSuccess;
  }
  return RunAuthCommands(options, std::cin, std::cout, std::cerr, StandardErrorIsTerminal());
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("voka-auth: out of memory\n", stderr);
    return kExitCommandFailed;
  }
}
