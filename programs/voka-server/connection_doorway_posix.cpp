#include "voka-server/connection_doorway_posix.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "voka-server/http_request.h"
#include "voka-server/listen_socket_posix.h"
#include "voka-server/proxy_protocol.h"
#include "voka-server/server_log.h"

namespace {

constexpr char kBadRequest[] =
    "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain; charset=GBK\r\nContent-Length: 12\r\n"
    "Connection: close\r\n\r\nbad request\n";

}  // namespace

std::string ProxiedPeerText(const char* scheme, const sockaddr_in& from, const std::string& client) {
  return std::string(scheme) + " " + PeerText(&from) + (client != AddressText(&from) ? " for " + client : "");
}

CConnectionDoorway::CConnectionDoorway(const char* scheme, bool looksAtFirstLine, const CTrustedProxies& proxies,
                                       HandOver handOver)
    : m_scheme(scheme), m_looksAtFirstLine(looksAtFirstLine), m_proxies(proxies), m_handOver(std::move(handOver)) {}

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
    const std::string client = AddressText(&from);
    // A proxy holds the connections of many clients: its own count is not capped.
    const bool proxied = m_proxies.Trusts(client);
    if (!m_looksAtFirstLine && !proxied) {
      m_handOver(socket, from, client, deadline);
    } else if (!proxied && WaitingFrom(client) >= kWaitingPerAddress) {
      LogLine(m_scheme + " " + PeerText(&from) + " refused: too many connections waiting for their request");
      close(socket);
    } else {
      if (m_waiting.size() >= kMaxWaiting) CloseOldestOfTheBusiestAddress();
      m_waiting.push_back({socket, from, client, deadline, false, proxied});
    }
  }
}

bool CConnectionDoorway::Look(Waiting& waiting, Clock::time_point now) {
  char start[kLargestRequestHead];
  const ssize_t size = recv(waiting.socket, start, sizeof start, MSG_PEEK | MSG_DONTWAIT);
  if (waiting.mayHaveProxyHeader && size > 0) {
    ProxyHeader header;
    switch (ReadProxyHeader(reinterpret_cast<const unsigned char*>(start), static_cast<size_t>(size), header)) {
      case ProxyHeaderStatus::kMalformed: return Close(waiting, "malformed PROXY protocol header");
      case ProxyHeaderStatus::kRead:
        recv(waiting.socket, start, header.length, MSG_DONTWAIT);  // peeked whole: it is all there
        if (!header.clientAddress.empty()) waiting.client = header.clientAddress;
        waiting.mayHaveProxyHeader = false;
        return Look(waiting, now);
      case ProxyHeaderStatus::kAbsent: waiting.mayHaveProxyHeader = false; break;
      case ProxyHeaderStatus::kIncomplete: break;
    }
  }
  if (!m_looksAtFirstLine && !waiting.mayHaveProxyHeader) {
    m_handOver(waiting.socket, waiting.from, waiting.client, waiting.deadline);
    return false;
  }
  const size_t looked = waiting.mayHaveProxyHeader || size <= 0 ? 0 : static_cast<size_t>(size);
  const char* lineEnd = static_cast<const char*>(std::memchr(start, '\n', looked));
  const size_t line = lineEnd ? static_cast<size_t>(lineEnd - start) : looked;
  const bool hasBlank = std::memchr(start, ' ', line) != nullptr;
  // What the library would leave unanswered: a leading NUL, a line without a blank.
  const bool notHttp = looked > 0 && (start[0] == '\0' || (lineEnd && !hasBlank));
  if (!notHttp && (hasBlank || looked == sizeof start)) {
    m_handOver(waiting.socket, waiting.from, waiting.client, waiting.deadline);
    return false;
  }
  waiting.partial = size > 0;
  if (notHttp) {
    LogLine(ProxiedPeerText(m_scheme.c_str(), waiting.from, waiting.client) + " malformed request line");
    // Bytes left unread would turn the close into a reset that loses the answer.
    recv(waiting.socket, start, looked, MSG_DONTWAIT);
    send(waiting.socket, kBadRequest, sizeof kBadRequest - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    shutdown(waiting.socket, SHUT_WR);
    close(waiting.socket);
    return false;
  }
  if (size == 0 || (size < 0 && errno != EAGAIN && errno != EINTR)) return Close(waiting, "closed without a request");
  if (now >= waiting.deadline) return Close(waiting, NoRequestInTime());
  return true;
}

bool CConnectionDoorway::Close(Waiting& waiting, const std::string& reason) {
  LogLine(ProxiedPeerText(m_scheme.c_str(), waiting.from, waiting.client) + " closed: " + reason);
  close(waiting.socket);
  return false;
}

size_t CConnectionDoorway::WaitingFrom(const std::string& client) const {
  return static_cast<size_t>(std::count_if(m_waiting.begin(), m_waiting.end(),
                                           [&](const Waiting& waiting) { return waiting.client == client; }));
}

// Silent connections from many addresses must not shut out a newcomer: the
// address holding the most gives up its oldest, and of addresses holding as
// many the one whose connection is oldest (m_waiting is in accept order), so
// that no address loses every tie.
void CConnectionDoorway::CloseOldestOfTheBusiestAddress() {
  std::map<std::string, size_t> held;
  size_t most = 0;
  for (const Waiting& waiting : m_waiting) most = std::max(most, ++held[waiting.client]);
  auto oldest = std::find_if(m_waiting.begin(), m_waiting.end(),
                             [&](const Waiting& waiting) { return held[waiting.client] == most; });
  LogLine(ProxiedPeerText(m_scheme.c_str(), oldest->from, oldest->client) +
          " closed: the waiting room is full and its address holds the most");
  close(oldest->socket);
  m_waiting.erase(oldest);
}
