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

// A result that never reached its reader is no success: a script that
// writes it to a full disk must see the failure.
int EndOutput(int status) {
  std::cout.flush();
  if (std::cout && std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::cerr << "voka-auth: cannot write the result to standard output\n";
  return status == kExitSuccess ? kExitCommandFailed : status;
}

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
    return EndOutput(kExitSuccess);
  }
  if (options.version) {
    std::cout << AuthVersionText();
    return EndOutput(kExitSuccess);
  }
  return EndOutput(
      RunAuthCommands(options, std::cin, std::cout, std::cerr, StandardErrorIsTerminal(), StandardOutputIsTerminal()));
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
