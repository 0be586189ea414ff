#include <unistd.h>

#include <climits>

#include "voka-server/default_accounts.h"

std::string DefaultAccountsPath() {
  char executable[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
  if (length <= 0) return VOKA_SAMPLE_ACCOUNTS_FROM_BINARY;
  std::string path(executable, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + VOKA_SAMPLE_ACCOUNTS_FROM_BINARY;
}
