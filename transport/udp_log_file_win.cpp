#include <cstdio>

#include "transport/udp_log.h"

namespace {

// Unbuffered, so that a whole group goes out in one write.
std::FILE* OpenUnbuffered(const std::string& path, const char* mode, std::FILE* reuse) {
  std::FILE* file = reuse ? std::freopen(path.c_str(), mode, reuse) : std::fopen(path.c_str(), mode);
  if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

}  // namespace

bool WriteUdpLogFile(const std::string& path, const std::string& lines) {
  std::FILE* file = OpenUnbuffered(path, "ab", nullptr);
  if (file == nullptr) return false;
  std::fseek(file, 0, SEEK_END);
  if (std::ftell(file) > kUdpLogRestartSize) {
    file = OpenUnbuffered(path, "wb", file);
    if (file == nullptr) return false;
  }
  std::fwrite(lines.data(), 1, lines.size(), file);
  std::fclose(file);
  return true;
}
