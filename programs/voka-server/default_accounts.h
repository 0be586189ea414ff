// Where voka-server finds its sample accounts when --accounts is not given.
#pragma once

#include <string>

// The sample account file at VOKA_SAMPLE_ACCOUNTS_FROM_BINARY, a path relative
// to the folder of the running executable, so that the server finds it from
// any working folder both in the build tree and in an installed prefix.
std::string DefaultAccountsPath();
