#include <winsock2.h>
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <vector>

#include "tests/codec/machine_network.h"

namespace {

// Calls visit for every adapter; false when they cannot be listed.
template <typename Visit>
bool ForEachAdapter(ULONG family, Visit visit) {
  ULONG size = 16 * 1024;
  std::vector<char> buffer(size);
  auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  if (GetAdaptersAddresses(family, 0, nullptr, adapters, &size) != NO_ERROR) return false;
  for (const IP_ADAPTER_ADDRESSES* adapter = adapters; adapter; adapter = adapter->Next) visit(*adapter);
  return true;
}

}  // namespace

std::set<std::string> InterfaceMacTexts() {
  std::set<std::string> macs;
  ForEachAdapter(AF_UNSPEC, [&macs](const IP_ADAPTER_ADDRESSES& adapter) {
    if (adapter.IfType == IF_TYPE_SOFTWARE_LOOPBACK || adapter.PhysicalAddressLength != 6) return;
    const BYTE* mac = adapter.PhysicalAddress;
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    macs.insert(text);
  });
  return macs;
}

std::set<std::string> HostNameIpv4Texts() {
  std::set<std::string> addresses;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return addresses;
  char name[256] = {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* answer = nullptr;
  if (gethostname(name, sizeof name - 1) == 0 && getaddrinfo(name, nullptr, &hints, &answer) == 0) {
    for (const addrinfo* entry = answer; entry; entry = entry->ai_next) {
      addresses.insert(inet_ntoa(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr));
    }
    freeaddrinfo(answer);
  }
  WSACleanup();
  return addresses;
}

std::set<std::string> MachineIpv4Texts() {
  std::set<std::string> addresses = HostNameIpv4Texts();
  ForEachAdapter(AF_INET, [&addresses](const IP_ADAPTER_ADDRESSES& adapter) {
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter.FirstUnicastAddress; unicast; unicast = unicast->Next) {
      addresses.insert(inet_ntoa(reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr)->sin_addr));
    }
  });
  return addresses;
}
