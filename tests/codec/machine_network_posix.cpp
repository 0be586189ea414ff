#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "tests/codec/machine_network.h"

namespace {

std::string ReadLine(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

}  // namespace

std::map<long, LinuxInterface> LinuxInterfacesByIndex() {
  std::map<long, LinuxInterface> interfaces;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net")) {
    if (ReadLine(entry.path() / "addr_len") != "6") continue;
    const long flags = std::stol(ReadLine(entry.path() / "flags"), nullptr, 16);
    if (flags & IFF_LOOPBACK) continue;
    std::string mac = ReadLine(entry.path() / "address");
    std::replace(mac.begin(), mac.end(), ':', '-');
    std::transform(mac.begin(), mac.end(), mac.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const bool upWithDevice = (flags & IFF_UP) && std::filesystem::exists(entry.path() / "device");
    interfaces[std::stol(ReadLine(entry.path() / "ifindex"))] = {mac, upWithDevice};
  }
  return interfaces;
}

std::set<std::string> InterfaceMacTexts() {
  std::set<std::string> macs;
  for (const auto& entry : LinuxInterfacesByIndex()) macs.insert(entry.second.mac);
  return macs;
}

std::set<std::string> HostNameIpv4Texts() {
  std::set<std::string> addresses;
  char name[256] = {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* answer = nullptr;
  if (gethostname(name, sizeof name - 1) != 0 || getaddrinfo(name, nullptr, &hints, &answer) != 0) return addresses;
  for (const addrinfo* entry = answer; entry; entry = entry->ai_next) {
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr, dotted, sizeof dotted);
    addresses.insert(dotted);
  }
  freeaddrinfo(answer);
  return addresses;
}

std::set<std::string> MachineIpv4Texts() {
  std::set<std::string> addresses = HostNameIpv4Texts();
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return addresses;
  for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, dotted, sizeof dotted);
    addresses.insert(dotted);
  }
  freeifaddrs(interfaces);
  return addresses;
}
