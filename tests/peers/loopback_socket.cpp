#include "tests/peers/loopback_socket.h"

#include <cstring>

namespace {

// A peer that vanished must make send fail, not kill the test process.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

}  // namespace

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

socket_t BindLoopback(int type, uint16_t* port) {
  socket_t s = socket(AF_INET, type, 0);
  if (s == kInvalidSocket) return kInvalidSocket;
  sockaddr_in address = LoopbackAddress(0);
  socklen_t size = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    CloseSocket(s);
    return kInvalidSocket;
  }
  *port = ntohs(address.sin_port);
  return s;
}

bool SendAll(socket_t socket, const std::string& text) {
  size_t sent = 0;
  while (sent < text.size()) {
    size_t chunk = text.size() - sent;
    if (chunk > (1u << 20)) chunk = 1u << 20;
    int n = send(socket, text.data() + sent, static_cast<int>(chunk), kSendFlags);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}
