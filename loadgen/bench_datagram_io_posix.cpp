#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <thread>

#include "loadgen/bench_datagram_io.h"

namespace {

void Point(mmsghdr& message, iovec& slot, const void* data, size_t size) {
  slot = {const_cast<void*>(data), size};
  message = {};
  message.msg_hdr.msg_iov = &slot;
  message.msg_hdr.msg_iovlen = 1;
}

}  // namespace

bool MakeNonBlocking(socket_t socket) {
  const int flags = fcntl(socket, F_GETFL);
  return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool StopQueueingErrors(socket_t socket) {
  const int off = 0;
  return setsockopt(socket, IPPROTO_IP, IP_RECVERR, &off, sizeof off) == 0;
}

int WaitReadableUntil(socket_t socket, BenchClock::time_point until) {
  pollfd entry{socket, POLLIN, 0};
  int ready = 0;
  do {
    const auto left =
        std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(until - BenchClock::now()).count());
    const timespec wait{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
    ready = ppoll(&entry, 1, &wait, nullptr);
  } while (ready < 0 && errno == EINTR);
  return ready < 0 ? -1 : ready > 0 ? 1 : 0;
}

void NapUntil(BenchClock::time_point until) { std::this_thread::sleep_until(until); }

bool SendDatagrams(socket_t socket, const std::vector<CUDPPacket>& packets, size_t count) {
  mmsghdr messages[kDatagramBatch];
  iovec slots[kDatagramBatch];
  bool sent = true;
  for (size_t first = 0; first < count;) {
    const size_t batch = std::min<size_t>(count - first, kDatagramBatch);
    for (size_t i = 0; i < batch; ++i) {
      const CUDPPacket& packet = packets[first + i];
      Point(messages[i], slots[i], packet.m_Buffer, static_cast<size_t>(packet.m_nLength));
    }
    const int done = sendmmsg(socket, messages, static_cast<unsigned>(batch), 0);
    if (done < 0 && errno == EINTR) continue;
    // A datagram the system refused is skipped: its login gets no answer.
    if (done < static_cast<int>(batch)) sent = false;
    first += done > 0 ? static_cast<size_t>(done) : 1;
  }
  return sent;
}

int ReceiveDatagrams(socket_t socket, std::vector<CUDPPacket>& packets) {
  mmsghdr messages[kDatagramBatch];
  iovec slots[kDatagramBatch];
  for (int i = 0; i < kDatagramBatch; ++i) {
    Point(messages[i], slots[i], packets[i].m_Buffer, sizeof packets[i].m_Buffer);
  }
  int received = 0;
  do {
    received = recvmmsg(socket, messages, kDatagramBatch, MSG_DONTWAIT, nullptr);
  } while (received < 0 && errno == EINTR);
  for (int i = 0; i < received; ++i) packets[i].m_nLength = static_cast<int>(messages[i].msg_len);
  return received;
}
