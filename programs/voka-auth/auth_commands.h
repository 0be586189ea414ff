// Runs the parsed commands of voka-auth on one engine.
#pragma once

#include <istream>
#include <ostream>

#include "voka-auth/auth_options.h"

// Prints each command's outcome to out (the trace and errors to err) and
// returns the exit status: kExitSuccess, kExitCommandFailed at the first
// command that did not return 0, or kExitUsage for an unusable argument.
// Secret options given as "-" are read from in. With noticeWaits (err is a
// terminal) a request that waits more than a second says so on err.
int RunAuthCommands(const AuthOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
                    bool noticeWaits);
