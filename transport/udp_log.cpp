#include "transport/udp_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

std::mutex g_logMutex;

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
  return WriteUdpLogFile(path, lines);
}
