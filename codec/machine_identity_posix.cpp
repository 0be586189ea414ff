#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "codec/machine_identity_lookup.h"

namespace {

// A real, working adapter: administratively up and backed by a device, which
// bridges, tunnels and other virtual interfaces are not.
bool IsUpAndBackedByADevice(const ifaddrs* entry) {
  if ((entry->ifa_flags & IFF_UP) == 0) return false;
  const std::string device = std::string("/sys/class/net/") + entry->ifa_name + "/device";
  return access(device.c_str(), F_OK) == 0;
}

}  // namespace

// Without NetBIOS the adapter is chosen by a fixed rule: among the interfaces
// that are not a loopback and have a six-byte hardware address, the one with
// the lowest index that is up and backed by a device, or else the one with
// the lowest index.
std::string LookUpMacAddress() {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return std::string();
  const sockaddr_ll* chosen = nullptr;
  bool chosenIsReal = false;
  for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET) continue;
    if (entry->ifa_flags & IFF_LOOPBACK) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    if (link->sll_halen != 6) continue;
    const bool real = IsUpAndBackedByADevice(entry);
    const bool better = !chosen || (real != chosenIsReal ? real : link->sll_ifindex < chosen->sll_ifindex);
    if (better) {
      chosen = link;
      chosenIsReal = real;
    }
  }
  std::string text;
  if (chosen) {
    const unsigned char* mac = chosen->sll_addr;
    char formatted[18];  // 17 characters and the NUL
    std::snprintf(formatted, sizeof formatted, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    text = formatted;
  }
  freeifaddrs(interfaces);
  return text;
}

std::string LookUpClientIp() {
  char hostName[1024] = {};
  if (gethostname(hostName, sizeof hostName - 1) != 0) return std::string();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* answer = nullptr;
  if (getaddrinfo(hostName, nullptr, &hints, &answer) != 0) return std::string();
  std::string text;
  if (answer && answer->ai_addr) {
    const auto* address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr);
    char dotted[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &address->sin_addr, dotted, sizeof dotted)) text = dotted;
  }
  freeaddrinfo(answer);
  return text;
}
