#include "voka-server/listen_socket_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int OpenBoundSocket(const ListenAddress& address, int type, std::string& error) {
  sockaddr_in where = {};
  where.sin_family = AF_INET;
  where.sin_port = htons(static_cast<uint16_t>(address.port));
  const std::string host = address.host == "localhost" ? "127.0.0.1" : address.host;
  if (inet_pton(AF_INET, host.c_str(), &where.sin_addr) != 1) {
    error = "'" + address.host + "' is not an IPv4 address";
    return -1;
  }
  int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  int reuse = 1;
  if (type == SOCK_STREAM) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  // The system's longest queue of connections not yet accepted: a burst of
  // them, a flood's or many clients', is not dropped before the server can
  // choose whom to keep.
  if (bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
      (type == SOCK_STREAM && listen(fd, SOMAXCONN) != 0)) {
    error = address.host + ":" + std::to_string(address.port) + ": " + std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

std::string LocalAddressText(int socket) {
  sockaddr_in where = {};
  socklen_t size = sizeof where;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&where), &size) != 0) return "?";
  return PeerText(&where);
}

std::string PeerText(const void* sockaddrIn) {
  return AddressText(sockaddrIn) + ":" + std::to_string(ntohs(static_cast<const sockaddr_in*>(sockaddrIn)->sin_port));
}

std::string AddressText(const void* sockaddrIn) {
  char host[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &static_cast<const sockaddr_in*>(sockaddrIn)->sin_addr, host, sizeof host);
  return host;
}
