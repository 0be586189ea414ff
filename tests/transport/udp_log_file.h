#pragma once
// Reading the diagnostic log in tests. Other processes may append to the
// same file at any time, so tests look at what was added after an offset.

#include <fstream>
#include <iterator>
#include <string>

#include "transport/udp_log.h"

inline std::string ReadUdpLog(long from = 0) {
  std::ifstream file(UdpLogPath(), std::ios::binary);
  if (!file) return std::string();
  file.seekg(from);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline long UdpLogSize() {
  std::ifstream file(UdpLogPath(), std::ios::binary | std::ios::ate);
  return file ? static_cast<long>(file.tellg()) : 0;
}

inline void WriteUdpLog(const std::string& content) {
  std::ofstream file(UdpLogPath(), std::ios::binary | std::ios::trunc);
  file << content;
}
