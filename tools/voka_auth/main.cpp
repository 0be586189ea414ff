// voka-auth: logs in from a terminal, the way a front end drives the component.
#include <iostream>
#include <string>
#include <vector>

#include "tools/voka_auth/auth_commands.h"
#include "tools/voka_auth/auth_options.h"

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
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
  return RunAuthCommands(options, std::cin, std::cout, std::cerr);
}
