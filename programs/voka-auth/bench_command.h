// voka-auth bench: whole logins at a constant rate against the servers of the
// global options, with latency percentiles and failures by cause.
#pragma once

#include <ostream>

#include "voka-auth/auth_options.h"

// Runs the bench command (its texts already in the engine's code page, its
// file names as given) and prints the summary to out. With progress (err is a
// terminal) a line a second goes to err. kExitSuccess when every login was
// done, kExitCommandFailed when one failed, kExitUsage for an option, account
// file or CSV file it cannot use.
int RunBench(const AuthOptions& options, const AuthCommand& command, std::ostream& out, std::ostream& err,
             bool progress);
