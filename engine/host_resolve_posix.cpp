#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>

#include "engine/host_resolve.h"

bool ResolveFirstIpv4(const std::string& host, std::string& dotted) {
  std::string name = host;
  if (name.empty()) {
    // As on Windows, an empty name means this computer.
    char local[HOST_NAME_MAX + 1] = {};
    if (gethostname(local, sizeof(local) - 1) != 0) {
      return false;
    }
    name = local;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* results = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &results) != 0 || results == nullptr) {
    return false;
  }
  char text[INET_ADDRSTRLEN] = {};
  const auto* address = reinterpret_cast<const sockaddr_in*>(results->ai_addr);
  const bool converted = inet_ntop(AF_INET, &address->sin_addr, text, sizeof(text)) != nullptr;
  freeaddrinfo(results);
  if (converted) {
    dotted = text;
  }
  return converted;
}
