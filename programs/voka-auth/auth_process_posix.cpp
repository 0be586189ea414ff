#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>

#include "voka-auth/auth_process.h"

bool KeepSecretsOutOfCoreDumps() {
  // Not dumpable: no core even through a core_pattern pipe, and no other
  // process of the user may attach to read the memory. The zero limit also
  // covers a system whose suid_dumpable would still write a root-only core.
  const rlimit noCore{0, 0};
  return prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && setrlimit(RLIMIT_CORE, &noCore) == 0;
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

// The words come as the terminal's locale wrote them: UTF-8.
std::vector<std::string> CommandLineWords(int argc, char** argv) { return {argv + 1, argv + argc}; }

void PrepareTextOutput() {}
