#include <cstdlib>

#include "transport/udp_log.h"

std::string UdpLogPath() {
  const char* path = std::getenv("VOKA_UDP_LOG");
  if (path != nullptr && *path != '\0') return path;
  const char* directory = std::getenv("TMPDIR");
  if (directory == nullptr || *directory == '\0') directory = "/tmp";
  return std::string(directory) + "/TevUdpServer.log";
}
