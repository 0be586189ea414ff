#include <chrono>

#include "loadgen/bench_datagram_io.h"

bool MakeNonBlocking(socket_t socket) {
  u_long on = 1;
  return ioctlsocket(socket, FIONBIO, &on) == 0;
}

// WinSock queues no errors for a later look.
bool StopQueueingErrors(socket_t) { return true; }

// WinSock waits in whole milliseconds: rounded up, so that a wait never ends
// before until.
int WaitReadableUntil(socket_t socket, BenchClock::time_point until) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - BenchClock::now()).count();
  return WaitReadable(socket, left > 0 ? static_cast<int>(left) : 0);
}

// A Windows sleep lasts a timer tick (up to 15.6 ms), far longer than a nap
// may: the worker goes on, and waits on its socket instead.
void NapUntil(BenchClock::time_point) {}

bool SendDatagrams(socket_t socket, const std::vector<CUDPPacket>& packets, size_t count) {
  bool sent = true;
  for (size_t i = 0; i < count; ++i) {
    sent = send(socket, reinterpret_cast<const char*>(packets[i].m_Buffer), packets[i].m_nLength, 0) >= 0 && sent;
  }
  return sent;
}

int ReceiveDatagrams(socket_t socket, std::vector<CUDPPacket>& packets) {
  int received = 0;
  sockaddr_in from;
  while (received < kDatagramBatch) {
    const int size = ReceiveDatagram(socket, packets[received].m_Buffer, sizeof packets[received].m_Buffer, &from);
    if (size < 0) return received > 0 ? received : -1;
    packets[received++].m_nLength = size;
  }
  return received;
}
