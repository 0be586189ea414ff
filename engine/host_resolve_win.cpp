#include <winsock2.h>

#include <cstring>

#include "engine/host_resolve.h"

bool ResolveFirstIpv4(const std::string& host, std::string& dotted) {
  // gethostbyname("") answers with the local computer's addresses.
  const hostent* entry = gethostbyname(host.c_str());
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) {
    return false;
  }
  in_addr address;
  memcpy(&address, entry->h_addr_list[0], sizeof(address));
  dotted = inet_ntoa(address);
  return true;
}
