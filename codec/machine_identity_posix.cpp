#include "codec/machine_identity_lookup.h"

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

// Without NetBIOS the adapter is chosen by a fixed rule: the interface with the
// lowest index that is not a loopback and has a six-byte hardware address.
std::string LookUpMacAddress() {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return std::string();
  const sockaddr_ll* chosen = nullptr;
  for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET) continue;
    if (entry->ifa_flags & IFF_LOOPBACK) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    if (link->sll_halen != 6) continue;
    if (!chosen || link->sll_ifindex < chosen->sll_ifindex) chosen = link;
  }
  std::string text;
  if (chosen) {
    const unsigned char* mac = chosen->sll_addr;
    char formatted[18];  // 17 characters and the NUL
    std::snprintf(formatted, sizeof formatted, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1],
                  mac[2], mac[3], mac[4], mac[5]);
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
