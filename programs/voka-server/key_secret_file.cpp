#include "voka-server/key_secret_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string Failure(const std::string& path, const std::string& reason) { return path + ": " + reason; }

int ReadSecret(const std::string& path, KeySecret& secret, std::string& error) {
  const int file = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (file < 0) {
    error = Failure(path, std::strerror(errno));
    return 1;
  }
  struct stat status = {};
  ssize_t got = -1;
  if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
    error = Failure(path, "not a regular file");
  } else if ((status.st_mode & 077) != 0) {
    error = Failure(path, "readable or writable by others than its owner (chmod 600)");
  } else if (status.st_size != static_cast<off_t>(secret.size()) ||
             (got = read(file, secret.data(), secret.size())) != static_cast<ssize_t>(secret.size())) {
    error = Failure(path, "the key secret must be 32 bytes");
  }
  close(file);
  return error.empty() ? 0 : 1;
}

// Written under a temporary name and linked into place, so that a server
// starting at the same moment reads a whole secret or makes none.
int CreateSecret(const std::string& path, KeySecret& secret, std::string& error) {
  if (NewKeySecret(secret, error) != 0) return 1;
  std::string temporary = path + ".XXXXXX";
  const int file = mkstemp(temporary.data());  // mode 0600
  if (file < 0) {
    error = Failure(path, std::string("cannot create: ") + std::strerror(errno));
    return 1;
  }
  const bool written =
      write(file, secret.data(), secret.size()) == static_cast<ssize_t>(secret.size()) && fsync(file) == 0;
  const int writeError = errno;
  close(file);
  const int linked = written ? link(temporary.c_str(), path.c_str()) : -1;
  const int failure = written ? errno : writeError;
  unlink(temporary.c_str());
  if (linked == 0) return 0;
  if (failure == EEXIST) return ReadSecret(path, secret, error);
  error = Failure(path, std::string("cannot create: ") + std::strerror(failure));
  return 1;
}

}  // namespace

int NewKeySecret(KeySecret& secret, std::string& error) {
  if (getrandom(secret.data(), secret.size(), 0) == static_cast<ssize_t>(secret.size())) return 0;
  error = std::string("the system's random generator failed: ") + std::strerror(errno);
  return 1;
}

int LoadKeySecret(const std::string& path, KeySecret& secret, std::string& error) {
  struct stat status = {};
  if (lstat(path.c_str(), &status) != 0 && errno == ENOENT) return CreateSecret(path, secret, error);
  return ReadSecret(path, secret, error);
}
