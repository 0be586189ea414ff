#include <netinet/ip.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "voka/failure_cause.h"
#include "voka/transport/socket_shim.h"

bool StartSocketLibrary() { return true; }

void StopSocketLibrary() {}

int CloseSocket(socket_t socket) { return close(socket); }

int ShutdownSocket(socket_t socket) { return shutdown(socket, SHUT_RDWR); }

int SocketLastError() { return errno; }

void SetSocketLastError(int code) { errno = code; }

int SocketErrorMessageTooLong() { return EMSGSIZE; }

int SocketErrorAddressNotAvailable() { return EADDRNOTAVAIL; }

void ReportUnreachableDestination(socket_t socket) {
  // Linux tells an unconnected socket of ICMP errors only when asked; a
  // socket that cannot be asked waits out its time-out as before.
  int on = 1;
  setsockopt(socket, IPPROTO_IP, IP_RECVERR, &on, sizeof(on));
}

int CauseOfReceiveError(int error) {
  switch (error) {
    case ECONNREFUSED: return VOKA_CAUSE_PORT_UNREACHABLE;
    case EHOSTUNREACH:
    case ENETUNREACH: return VOKA_CAUSE_HOST_UNREACHABLE;
    default: return VOKA_CAUSE_RECEIVE_FAILED;
  }
}

bool PendingDatagramSize(socket_t socket, unsigned long* size) {
  // Linux reports the size of the first datagram for a UDP socket.
  int count = 0;
  if (ioctl(socket, FIONREAD, &count) != 0 || count < 0) return false;
  *size = static_cast<unsigned long>(count);
  return true;
}

int WaitReadable(socket_t socket, int timeoutMs) {
  errno = 0;
  if (timeoutMs < 0) {
    errno = EINVAL;
    return -1;
  }
  // poll rather than select: a descriptor above FD_SETSIZE must not overrun an fd_set.
  pollfd entry{socket, POLLIN, 0};
  // A signal cuts the wait short; the rest of it runs against a fixed
  // deadline, so that periodic signals cannot stretch it for ever.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int remainingMs = timeoutMs;
  int result;
  while ((result = poll(&entry, 1, remainingMs)) < 0 && errno == EINTR) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    remainingMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    errno = 0;
  }
  if (result <= 0) return result < 0 ? -1 : 0;
  if (entry.revents & POLLIN) return 1;
  int error = 0;
  socklen_t length = sizeof(error);
  if ((entry.revents & POLLERR) && getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0) errno = error;
  return -1;
}

int SendDatagram(socket_t socket, const void* data, int length, const sockaddr_in& to) {
  ssize_t sent =
      sendto(socket, data, static_cast<size_t>(length), 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
  return static_cast<int>(sent);
}

int ReceiveDatagram(socket_t socket, void* buffer, int capacity, sockaddr_in* from) {
  socklen_t fromLength = sizeof(*from);
  ssize_t received =
      recvfrom(socket, buffer, static_cast<size_t>(capacity), 0, reinterpret_cast<sockaddr*>(from), &fromLength);
  return static_cast<int>(received);
}

unsigned long long MonotonicMilliseconds() {
  return static_cast<unsigned long long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}
