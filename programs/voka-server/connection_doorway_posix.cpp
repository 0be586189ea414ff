#include "voka-server/connection_doorway_posix.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "voka-server/http_request.h"
#include "voka-server/listen_socket_posix.h"
#include "voka-server/server_log.h"

namespace {

constexpr char kBadRequest[] =
    "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain; charset=GBK\r\nContent-Length: 12\r\n"
    "Connection: close\r\n\r\nbad request\n";

}  // namespace

CConnectionDoorway::CConnectionDoorway(const char* scheme, bool looksAtFirstLine, HandOver handOver)
    : m_scheme(scheme), m_looksAtFirstLine(looksAtFirstLine), m_handOver(std::move(handOver)) {}

CConnectionDoorway::~CConnectionDoorway() {
  for (const Waiting& waiting : m_waiting) close(waiting.socket);
}

void CConnectionDoorway::AppendPollEntries(int listener, std::vector<pollfd>& entries) const {
  entries.push_back({listener, POLLIN, 0});
  for (const Waiting& waiting : m_waiting) {
    if (!waiting.partial) entries.push_back({waiting.socket, POLLIN, 0});
  }
}

int CConnectionDoorway::MillisecondsToNextEvent() const {
  if (m_waiting.empty()) return -1;
  Clock::time_point next = Clock::time_point::max();
  bool partial = false;
  for (const Waiting& waiting : m_waiting) {
    next = std::min(next, waiting.deadline);
    partial = partial || waiting.partial;
  }
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
  wait = std::max<long long>(0, wait) + 1;
  return static_cast<int>(partial ? std::min<long long>(wait, kPartialLineMilliseconds) : wait);
}

void CConnectionDoorway::Run(int listener) {
  Accept(listener);
  const Clock::time_point now = Clock::now();
  m_waiting.erase(
      std::remove_if(m_waiting.begin(), m_waiting.end(), [&](Waiting& waiting) { return !Look(waiting, now); }),
      m_waiting.end());
}

void CConnectionDoorway::Accept(int listener) {
  while (true) {
    sockaddr_in from = {};
    socklen_t size = sizeof from;
    int socket = accept4(listener, reinterpret_cast<sockaddr*>(&from), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (socket < 0) return;
    const Clock::time_point deadline = Clock::now() + kRequestDeadline;
    if (!m_looksAtFirstLine) {
      m_handOver(socket, from, deadline);
    } else if (WaitingFrom(from) >= kWaitingPerAddress) {
      LogLine(m_scheme + " " + PeerText(&from) + " refused: too many connections waiting for their request");
      close(socket);
    } else {
      if (m_waiting.size() >= kMaxWaiting) CloseOldestOfTheBusiestAddress();
      m_waiting.push_back({socket, from, deadline, false});
    }
  }
}

bool CConnectionDoorway::Look(Waiting& waiting, Clock::time_point now) {
  char start[kLargestRequestHead];
  const ssize_t size = recv(waiting.socket, start, sizeof start, MSG_PEEK | MSG_DONTWAIT);
  const char* lineEnd = size > 0 ? static_cast<const char*>(std::memchr(start, '\n', size)) : nullptr;
  const size_t line = lineEnd ? static_cast<size_t>(lineEnd - start) : size > 0 ? static_cast<size_t>(size) : 0;
  const bool hasBlank = std::memchr(start, ' ', line) != nullptr;
  // What the library would leave unanswered: a leading NUL, a line without a blank.
  const bool notHttp = size > 0 && (start[0] == '\0' || (lineEnd && !hasBlank));
  const std::string peer = m_scheme + " " + PeerText(&waiting.from);
  if (!notHttp && (hasBlank || size == static_cast<ssize_t>(sizeof start))) {
    m_handOver(waiting.socket, waiting.from, waiting.deadline);
    return false;
  }
  waiting.partial = size > 0;
  if (notHttp) {
    LogLine(peer + " malformed request line");
    // Bytes left unread would turn the close into a reset that loses the answer.
    recv(waiting.socket, start, static_cast<size_t>(size), MSG_DONTWAIT);
    send(waiting.socket, kBadRequest, sizeof kBadRequest - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    shutdown(waiting.socket, SHUT_WR);
  } else if (size == 0 || (size < 0 && errno != EAGAIN && errno != EINTR)) {
    LogLine(peer + " closed: closed without a request");
  } else if (now >= waiting.deadline) {
    LogLine(peer + " closed: " + NoRequestInTime());
  } else {
    return true;
  }
  close(waiting.socket);
  return false;
}

size_t CConnectionDoorway::WaitingFrom(const sockaddr_in& from) const {
  return static_cast<size_t>(std::count_if(m_waiting.begin(), m_waiting.end(), [&](const Waiting& waiting) {
    return waiting.from.sin_addr.s_addr == from.sin_addr.s_addr;
  }));
}

// Silent connections from many addresses must not shut out a newcomer: the
// address holding the most gives up its oldest, and of addresses holding as
// many the one whose connection is oldest (m_waiting is in accept order), so
// that no address loses every tie.
void CConnectionDoorway::CloseOldestOfTheBusiestAddress() {
  std::map<in_addr_t, size_t> held;
  size_t most = 0;
  for (const Waiting& waiting : m_waiting) most = std::max(most, ++held[waiting.from.sin_addr.s_addr]);
  auto oldest = std::find_if(m_waiting.begin(), m_waiting.end(),
                             [&](const Waiting& waiting) { return held[waiting.from.sin_addr.s_addr] == most; });
  LogLine(m_scheme + " " + PeerText(&oldest->from) +
          " closed: the waiting room is full and its address holds the most");
  close(oldest->socket);
  m_waiting.erase(oldest);
}
