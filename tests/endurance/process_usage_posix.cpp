#include <dirent.h>
#include <unistd.h>

#include <fstream>

#include "tests/endurance/process_usage.h"

size_t OpenFileDescriptors() {
  DIR* directory = opendir("/proc/self/fd");
  if (directory == nullptr) return 0;
  size_t count = 0;
  while (dirent* entry = readdir(directory)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(directory);
  return count - 1;  // the descriptor of the listing itself
}

size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}
