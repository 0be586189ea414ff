#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "transport/udp_log.h"

namespace {

std::mutex g_logMutex;

// Unbuffered, so that a whole group goes out in one write.
std::FILE* OpenUnbuffered(const std::string& path, const char* mode, std::FILE* reuse) {
  std::FILE* file = reuse ? std::freopen(path.c_str(), mode, reuse) : std::fopen(path.c_str(), mode);
  if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

}  // namespace

std::string FormatUdpLogLine(const char* format, ...) {
  char line[kUdpLogLineMax + 1];
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(line, sizeof(line), format, arguments);
  va_end(arguments);
  if (length < 0) return std::string();
  return std::string(line, length > kUdpLogLineMax ? kUdpLogLineMax : length);
}

bool AppendUdpLog(const std::string& lines) {
  const std::string path = UdpLogPath();
  std::lock_guard<std::mutex> lock(g_logMutex);
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
