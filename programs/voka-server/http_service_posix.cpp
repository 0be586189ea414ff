#include "programs/voka-server/http_service_posix.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "programs/voka-server/listen_socket_posix.h"
#include "codec/text_escape.h"
#include "programs/voka-server/server_log.h"
#include "programs/voka-server/server_messages.h"
#include "transport/request_kinds.h"

namespace {

constexpr size_t kMaxConnections = 64;
constexpr auto kRequestTimeout = std::chrono::seconds(5);
constexpr auto kResponseTimeout = std::chrono::seconds(10);

}  // namespace

CHttpService::CHttpService(CAccountService& accounts, const FaultModes& faults, const CTlsContext* tls)
    : m_accounts(accounts), m_faults(faults), m_tls(tls) {}

CHttpService::~CHttpService() {
  for (Connection& connection : m_connections) close(connection.socket);
  if (m_listener >= 0) close(m_listener);
}

int CHttpService::Open(const ListenAddress& address, std::string& error) {
  m_listener = OpenBoundSocket(address, SOCK_STREAM, error);
  return m_listener < 0 ? 1 : 0;
}

std::string CHttpService::BoundAddress() const { return LocalAddressText(m_listener); }

void CHttpService::AppendPollEntries(std::vector<pollfd>& entries) const {
  entries.push_back({m_listener, POLLIN, 0});
  const Clock::time_point now = Clock::now();
  for (const Connection& connection : m_connections) {
    short events = POLLIN;
    if (connection.tls && connection.tls->WaitsFor() != 0) {
      events = connection.tls->WaitsFor();
    } else if (connection.responding) {
      bool hasOutput = connection.sent < connection.output.size() ||
                       (!connection.heldBody.empty() && now >= connection.releaseAt);
      events = hasOutput ? POLLOUT : 0;
    }
    entries.push_back({connection.socket, events, 0});
  }
}

void CHttpService::OnPoll(const pollfd* entries, size_t count) {
  if (count == 0) return;
  size_t index = 1;
  for (Connection& connection : m_connections) {
    if (index >= count) break;
    const pollfd& entry = entries[index++];
    if (entry.fd != connection.socket) continue;
    try {
      if (entry.revents & (POLLERR | POLLNVAL)) {
        Close(connection, "connection error");
      } else if (entry.revents != 0) {
        // Only the events asked for, or a hang-up, are reported.
        if (connection.responding) Write(connection);
        else Read(connection);
      }
    } catch (const std::bad_alloc&) {
      LogOutOfMemory("connection closed");
      close(connection.socket);
      connection.done = true;
    }
  }
  const Clock::time_point now = Clock::now();
  for (Connection& connection : m_connections) {
    if (connection.done) continue;
    if (now >= connection.deadline) {
      Close(connection, connection.responding ? "client too slow to read the answer" : "no request within 5 s");
    }
  }
  m_connections.remove_if([](const Connection& connection) { return connection.done; });
  if (entries[0].revents & POLLIN) Accept();
}

int CHttpService::MillisecondsToNextEvent() const {
  if (m_connections.empty()) return -1;
  Clock::time_point next = Clock::time_point::max();
  for (const Connection& connection : m_connections) {
    next = std::min(next, connection.deadline);
    if (!connection.heldBody.empty()) next = std::min(next, connection.releaseAt);
  }
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
  return static_cast<int>(std::max<long long>(0, wait) + 1);
}

void CHttpService::Accept() {
  sockaddr_in from = {};
  socklen_t size = sizeof from;
  int socket = accept4(m_listener, reinterpret_cast<sockaddr*>(&from), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (socket < 0) return;
  const char* scheme = m_tls ? "https " : "http ";
  if (m_connections.size() >= kMaxConnections) {
    close(socket);
    LogLine(scheme + PeerText(&from) + " refused: too many open connections");
    return;
  }
  Connection connection;
  connection.socket = socket;
  connection.deadline = Clock::now() + kRequestTimeout;
  try {
    connection.peer = scheme + PeerText(&from);
    if (m_tls) connection.tls = std::make_unique<CTlsSession>(*m_tls, socket);
    m_connections.push_back(std::move(connection));
  } catch (const std::bad_alloc&) {
    LogOutOfMemory("connection refused");
    close(socket);
  }
}

ssize_t CHttpService::ReceiveSome(Connection& connection, char* buffer, size_t size) {
  if (connection.tls) return connection.tls->Receive(buffer, size);
  ssize_t received = recv(connection.socket, buffer, size, 0);
  if (received < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kIoWouldBlock : kIoFailed;
  return received;
}

ssize_t CHttpService::SendSome(Connection& connection, const char* data, size_t size) {
  if (connection.tls) return connection.tls->Send(data, size);
  ssize_t written = send(connection.socket, data, size, MSG_NOSIGNAL);
  if (written < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kIoWouldBlock : kIoFailed;
  return written;
}

void CHttpService::Read(Connection& connection) {
  if (connection.tls && !connection.handshaken) {
    std::string error;
    ssize_t step = connection.tls->Handshake(error);
    if (step == kIoWouldBlock) return;
    if (step == kIoFailed) {
      Close(connection, "TLS handshake failed: " + error);
      return;
    }
    connection.handshaken = true;
  }
  // A TLS session may hold decrypted bytes that poll cannot see: read until
  // the socket has nothing more or the head is complete.
  HttpRequest request;
  std::string problem;
  HeadStatus status = HeadStatus::kIncomplete;
  while (status == HeadStatus::kIncomplete) {
    char chunk[4096];
    ssize_t received = ReceiveSome(connection, chunk, sizeof chunk);
    if (received == kIoWouldBlock) return;
    if (received <= 0) {
      Close(connection, connection.input.empty() ? "closed without a request" : "closed in the middle of a request");
      return;
    }
    size_t room = kLargestRequestHead + 4 - std::min(connection.input.size(), kLargestRequestHead + 4);
    connection.input.append(chunk, std::min(room, static_cast<size_t>(received)));
    status = ParseHttpRequestHead(connection.input, request, problem);
  }
  switch (status) {
    case HeadStatus::kIncomplete:
      return;
    case HeadStatus::kMalformed:
      Reply(connection, 400, "bad request\n", problem);
      return;
    case HeadStatus::kTooLong:
      Reply(connection, 431, "request head too long\n", problem);
      return;
    case HeadStatus::kComplete:
      Respond(connection, request);
      return;
  }
}

void CHttpService::Respond(Connection& connection, const HttpRequest& request) {
  const std::string line = request.method + " " + EscapeControlBytes(request.path);
  if (request.method != "GET") {
    Reply(connection, 405, "only GET is served\n", line + " -> 405");
    return;
  }
  if (!m_redirectBase.empty()) {
    const std::string location = m_redirectBase + request.path + (request.hasQuery ? "?" + request.query : "");
    StartResponse(connection, HttpRedirectHead(location), line + " -> 302 " + EscapeControlBytes(location));
    return;
  }
  const RequestKindRow* row = FindRequestByPath(request.path);
  if (row == nullptr) {
    AnswerFields answer = FailureAnswer(kRetUnknownRequest);
    Reply(connection, 404, HttpAnswerBody(answer), line + " -> 404 " + AnswerSummary(answer));
    return;
  }
  // User id and secrets arrive as form-encoded UTF-8, as the accounts are kept.
  RequestFields fields = ParseQuery(request.query);
  AnswerFields answer = m_accounts.Answer(row->kind, fields);
  std::string what = line + " " + row->name;
  if (fields.count("USERID")) what += " user=" + EscapeControlBytes(fields["USERID"]);
  what += " -> " + AnswerSummary(answer);
  switch (m_faults.http) {
    case HttpFault::kEmptyBody:
      Reply(connection, 200, "", what + " (empty body)");
      return;
    case HttpFault::kErrorBody:
      Reply(connection, 500, "Internal Server Error\n", what + " (error body)");
      return;
    case HttpFault::kSlowBody: {
      std::string body = HttpAnswerBody(answer);
      Reply(connection, 200, "", what + " (slow body)");
      connection.output = HttpResponseHead(200, body.size());
      connection.heldBody = body;
      connection.releaseAt = Clock::now() + std::chrono::seconds(m_faults.slowSeconds);
      connection.deadline = connection.releaseAt + kResponseTimeout;
      return;
    }
    case HttpFault::kNone:
    case HttpFault::kRedirectToHttp:
    case HttpFault::kRedirectToHttps:
      break;
  }
  Reply(connection, 200, HttpAnswerBody(answer), what);
}

void CHttpService::Reply(Connection& connection, int status, const std::string& body, const std::string& logLine) {
  StartResponse(connection, HttpResponseHead(status, body.size()) + body, logLine);
}

void CHttpService::StartResponse(Connection& connection, const std::string& response, const std::string& logLine) {
  LogLine(connection.peer + " " + logLine);
  connection.output = response;
  connection.sent = 0;
  connection.responding = true;
  connection.deadline = Clock::now() + kResponseTimeout;
}

void CHttpService::Write(Connection& connection) {
  if (!connection.heldBody.empty() && Clock::now() >= connection.releaseAt) {
    connection.output += connection.heldBody;
    connection.heldBody.clear();
  }
  while (connection.sent < connection.output.size()) {
    ssize_t written = SendSome(connection, connection.output.data() + connection.sent,
                               connection.output.size() - connection.sent);
    if (written == kIoWouldBlock) return;
    if (written <= 0) {
      Close(connection, "peer went away before the answer was sent");
      return;
    }
    connection.sent += static_cast<size_t>(written);
  }
  if (connection.heldBody.empty()) {
    if (connection.tls) connection.tls->Shutdown();
    shutdown(connection.socket, SHUT_WR);
    Close(connection, "");
  }
}

void CHttpService::Close(Connection& connection, const std::string& reason) {
  if (!reason.empty()) LogLine(connection.peer + " closed: " + reason);
  close(connection.socket);
  connection.done = true;
}
