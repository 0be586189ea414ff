#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "transport/udp_log.h"

namespace {

// The default log lives in a shared temporary folder, where another user can
// plant a link or a file of their own under the log's name. A second hard
// link means the name may be another file of this user's: not written.
bool IsOwnRegularFile(int descriptor, struct stat* status) {
  return fstat(descriptor, status) == 0 && S_ISREG(status->st_mode) && status->st_uid == geteuid() &&
         status->st_nlink == 1;
}

bool WriteAll(int descriptor, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(descriptor, data, size);
    if (written < 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

bool WriteUdpLogFile(const std::string& path, const std::string& lines) {
  // O_NONBLOCK: a FIFO planted under the name cannot hold the open.
  const int descriptor = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (descriptor < 0) return false;
  struct stat status;
  bool written = IsOwnRegularFile(descriptor, &status);
  // Restarted through the open descriptor: the name may point elsewhere by now.
  if (written && status.st_size > kUdpLogRestartSize) written = ftruncate(descriptor, 0) == 0;
  if (written) written = WriteAll(descriptor, lines.data(), lines.size());
  close(descriptor);
  return written;
}
