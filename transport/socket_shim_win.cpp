#include "voka/failure_cause.h"
#include "voka/transport/socket_shim.h"

bool StartSocketLibrary() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void StopSocketLibrary() { WSACleanup(); }

int CloseSocket(socket_t socket) { return closesocket(socket); }

int ShutdownSocket(socket_t socket) { return shutdown(socket, SD_BOTH); }

int SocketLastError() { return WSAGetLastError(); }

void SetSocketLastError(int code) { WSASetLastError(code); }

int SocketErrorMessageTooLong() { return WSAEMSGSIZE; }

int SocketErrorAddressNotAvailable() { return WSAEADDRNOTAVAIL; }

void ReportUnreachableDestination(socket_t) {}

int CauseOfReceiveError(int error) {
  switch (error) {
    case WSAECONNRESET: return VOKA_CAUSE_PORT_UNREACHABLE;
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAENETRESET: return VOKA_CAUSE_HOST_UNREACHABLE;
    default: return VOKA_CAUSE_RECEIVE_FAILED;
  }
}

bool PendingDatagramSize(socket_t socket, unsigned long* size) {
  u_long count = 0;
  if (ioctlsocket(socket, FIONREAD, &count) != 0) return false;
  if (count == 0) {
    *size = 0;
    return true;
  }
  // Windows may count every queued datagram; a peek measures the first one.
  // A datagram too long for the peek buffer is reported as at least that long.
  char peek[2049];
  int peeked = recvfrom(socket, peek, sizeof(peek), MSG_PEEK, nullptr, nullptr);
  if (peeked >= 0) {
    *size = static_cast<unsigned long>(peeked);
    return true;
  }
  if (WSAGetLastError() != WSAEMSGSIZE) return false;
  *size = count > sizeof(peek) ? count : sizeof(peek);
  return true;
}

int WaitReadable(socket_t socket, int timeoutMs) {
  WSASetLastError(0);
  if (timeoutMs < 0) {
    WSASetLastError(WSAEINVAL);
    return -1;
  }
  fd_set readSet;
  FD_ZERO(&readSet);
  FD_SET(socket, &readSet);
  timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int result = select(0, &readSet, nullptr, nullptr, &timeout);
  if (result <= 0) return result < 0 ? -1 : 0;
  return FD_ISSET(socket, &readSet) ? 1 : -1;
}

int SendDatagram(socket_t socket, const void* data, int length, const sockaddr_in& to) {
  return sendto(socket, static_cast<const char*>(data), length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}

int ReceiveDatagram(socket_t socket, void* buffer, int capacity, sockaddr_in* from) {
  int fromLength = sizeof(*from);
  return recvfrom(socket, static_cast<char*>(buffer), capacity, 0, reinterpret_cast<sockaddr*>(from), &fromLength);
}

unsigned long long MonotonicMilliseconds() { return GetTickCount64(); }
