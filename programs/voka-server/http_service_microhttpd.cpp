#include "voka-server/http_service_microhttpd.h"

#include <microhttpd.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "voka-server/http_request.h"
#include "voka-server/listen_socket_posix.h"
#include "voka-server/server_limits.h"
#include "voka-server/server_log.h"
#include "voka/codec/text_escape.h"
#include "voka/protocol/answer_codes.h"
#include "voka/protocol/field_names.h"
#include "voka/protocol/request_kinds.h"

namespace {

// The library closes a connection idle as long as a request head may take;
// the head's deadline also ends one that trickles its head in.
constexpr auto kIdleSeconds = static_cast<unsigned>(kRequestDeadline.count());
constexpr char kTlsPriorities[] = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";

MHD_Result CountHeaderBytes(void* total, MHD_ValueKind, const char* name, const char* value) {
  *static_cast<size_t*>(total) += std::strlen(name) + 2 + (value ? std::strlen(value) : 0) + 2;
  return MHD_YES;
}

// The head's size as it came, give or take the blanks around header values.
size_t RequestHeadSize(MHD_Connection* handle, const std::string& method, const std::string& target,
                       const std::string& version) {
  size_t total = method.size() + 1 + target.size() + 1 + version.size() + 2 + 2;
  MHD_get_connection_values(handle, MHD_HEADER_KIND, &CountHeaderBytes, &total);
  return total;
}

// Every X-Forwarded-For header's list, joined in the order they came.
MHD_Result JoinForwardedFor(void* joined, MHD_ValueKind, const char* name, const char* value) {
  std::string& list = *static_cast<std::string*>(joined);
  if (strcasecmp(name, "X-Forwarded-For") == 0 && value != nullptr)
    list += (list.empty() ? "" : ",") + std::string(value);
  return MHD_YES;
}

// "HTTP/" and a version number, "DIGIT.DIGIT" (RFC 9112).
bool LooksLikeHttpVersion(const std::string& version) {
  return version.size() == 8 && version.compare(0, 5, "HTTP/") == 0 &&
         std::isdigit(static_cast<unsigned char>(version[5])) && version[6] == '.' &&
         std::isdigit(static_cast<unsigned char>(version[7]));
}

// Queues a response that closes the connection; a redirect has a location
// and no body.
bool QueueResponse(MHD_Connection* handle, unsigned status, MHD_Response* response, const char* location = nullptr) {
  if (response == nullptr) return false;
  bool queued = MHD_add_response_header(response, "Connection", "close") == MHD_YES &&
                MHD_add_response_header(response, location ? "Location" : "Content-Type",
                                        location ? location : "text/plain; charset=GBK") == MHD_YES &&
                MHD_queue_response(handle, status, response) == MHD_YES;
  MHD_destroy_response(response);
  return queued;
}

}  // namespace

// libmicrohttpd's callbacks: C functions, so nothing may be thrown out of them.
struct HttpServiceCallbacks {
  static void OnConnection(void* self, MHD_Connection* handle, void**, MHD_ConnectionNotificationCode code) {
    CHttpService& service = *static_cast<CHttpService*>(self);
    try {
      if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo* from = MHD_get_connection_info(handle, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        const MHD_ConnectionInfo* socket = MHD_get_connection_info(handle, MHD_CONNECTION_INFO_CONNECTION_FD);
        CHttpService::Connection& connection = service.m_connections[handle];
        const auto* peer = reinterpret_cast<const sockaddr_in*>(from->client_addr);
        connection.peer = ProxiedPeerText(service.m_scheme, *peer, service.m_handedOverClient);
        connection.address = service.m_handedOverClient;
        connection.socket = socket->connect_fd;
        connection.deadline = service.m_handedOverDeadline;
        connection.order = service.m_handedOver;
        return;
      }
      auto found = service.m_connections.find(handle);
      if (found == service.m_connections.end()) return;
      const CHttpService::Connection& connection = found->second;
      if (!connection.answered) {
        const bool late = CHttpService::Clock::now() >= connection.deadline;
        LogLine(connection.peer + " closed: " +
                (!connection.cutOff.empty() ? connection.cutOff
                 : late                     ? NoRequestInTime()
                                            : "closed without a request"));
      }
      service.m_connections.erase(found);
    } catch (const std::bad_alloc&) {
      LogOutOfMemory("connection not tracked");
    }
  }

  // Called with the request line's target as it came, before the library
  // decodes it: the query is split and decoded here.
  static void* OnRequestLine(void* self, const char* target, MHD_Connection* handle) {
    CHttpService& service = *static_cast<CHttpService*>(self);
    auto found = service.m_connections.find(handle);
    if (found == service.m_connections.end()) return nullptr;
    try {
      found->second.target = target;
    } catch (const std::bad_alloc&) {
      LogOutOfMemory("request target dropped");
    }
    return &found->second;
  }

  static MHD_Result OnRequest(void* self, MHD_Connection* handle, const char*, const char* method, const char* version,
                              const char*, size_t* uploadSize, void** context) {
    CHttpService& service = *static_cast<CHttpService*>(self);
    auto* connection = static_cast<CHttpService::Connection*>(*context);
    if (connection == nullptr) return MHD_NO;
    if (connection->answered) {
      *uploadSize = 0;  // a body after the head is not read
      return MHD_YES;
    }
    try {
      return service.Respond(handle, *connection, method, version) ? MHD_YES : MHD_NO;
    } catch (const std::bad_alloc&) {
      LogOutOfMemory("connection closed");
      return MHD_NO;
    }
  }

  static ssize_t ReadHeldBody(void* cls, uint64_t position, char* buffer, size_t room) {
    CHttpService::HeldBody& held = *static_cast<CHttpService::HeldBody*>(cls);
    if (CHttpService::Clock::now() < held.releaseAt) {
      held.suspended = true;
      MHD_suspend_connection(held.connection);
      return 0;
    }
    const size_t size = std::min(room, static_cast<size_t>(held.body.size() - position));
    std::copy_n(held.body.data() + position, size, buffer);
    return static_cast<ssize_t>(size);
  }

  static void FreeHeldBody(void* cls) {
    auto* held = static_cast<CHttpService::HeldBody*>(cls);
    held->service->m_heldBodies.erase(held);
    delete held;
  }

  static void OnLibraryMessage(void* self, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    FlushLog();
    std::fprintf(stderr, "voka-server: %s: %s%s", static_cast<CHttpService*>(self)->m_scheme, text,
                 text[0] != '\0' && text[std::strlen(text) - 1] == '\n' ? "" : "\n");
  }
};

CHttpService::CHttpService(CAccountService& accounts, const FaultModes& faults, const CTrustedProxies& proxies,
                           const TlsCredentials* tls)
    : m_accounts(accounts),
      m_faults(faults),
      m_proxies(proxies),
      m_tls(tls),
      m_scheme(tls ? "https" : "http"),
      m_doorway(m_scheme, tls == nullptr, proxies,
                [this](int socket, const sockaddr_in& from, const std::string& client, Clock::time_point deadline) {
                  HandOver(socket, from, client, deadline);
                }) {}

CHttpService::~CHttpService() {
  if (m_daemon != nullptr) {
    // The library may not stop with a connection suspended.
    for (HeldBody* held : m_heldBodies) {
      if (held->suspended) MHD_resume_connection(held->connection);
    }
    MHD_stop_daemon(m_daemon);
  }
  if (m_listener >= 0) close(m_listener);
}

int CHttpService::Open(const ListenAddress& address, std::string& error) {
  m_listener = OpenBoundSocket(address, SOCK_STREAM, error);
  if (m_listener < 0) return 1;
  std::vector<MHD_OptionItem> options = {
      {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&HttpServiceCallbacks::OnLibraryMessage), this},
      {MHD_OPTION_CONNECTION_LIMIT, kMaxConnections + kCutOffRoom, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, nullptr},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&HttpServiceCallbacks::OnConnection), this},
      {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&HttpServiceCallbacks::OnRequestLine), this},
      {MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, nullptr},
  };
  // Connections come in through the doorway.
  unsigned flags = MHD_USE_EPOLL | MHD_USE_NO_LISTEN_SOCKET | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
  if (m_tls) {
    flags |= MHD_USE_TLS;
    options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(m_tls->certificatePem.c_str())});
    options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(m_tls->keyPem.c_str())});
    options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
  }
  options.push_back({MHD_OPTION_END, 0, nullptr});
  m_daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &HttpServiceCallbacks::OnRequest, this, MHD_OPTION_ARRAY,
                              options.data(), MHD_OPTION_END);
  if (m_daemon == nullptr) {
    error = address.host + ":" + std::to_string(address.port) + ": the " + m_scheme + " service did not start" +
            (m_tls ? " (is the key the certificate's?)" : "");
    return 1;
  }
  return 0;
}

std::string CHttpService::BoundAddress() const { return LocalAddressText(m_listener); }

void CHttpService::AppendPollEntries(std::vector<pollfd>& entries) {
  m_firstPollEntry = entries.size();
  entries.push_back({MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_EPOLL_FD)->epoll_fd, POLLIN, 0});
  m_doorway.AppendPollEntries(m_listener, entries);
  m_pollEntries = entries.size() - m_firstPollEntry;
}

int CHttpService::MillisecondsToNextEvent() {
  Clock::time_point next = Clock::time_point::max();
  for (const auto& entry : m_connections) {
    if (!entry.second.answered && entry.second.cutOff.empty()) next = std::min(next, entry.second.deadline);
  }
  for (const HeldBody* held : m_heldBodies) {
    if (held->suspended) next = std::min(next, held->releaseAt);
  }
  long long wait = -1;
  if (next != Clock::time_point::max()) {
    wait =
        std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count() + 1);
  }
  MHD_UNSIGNED_LONG_LONG library = 0;
  if (MHD_get_timeout(m_daemon, &library) == MHD_YES && (wait < 0 || library < static_cast<unsigned long long>(wait))) {
    wait = static_cast<long long>(library);
  }
  const int doorway = m_doorway.MillisecondsToNextEvent();
  if (doorway >= 0 && (wait < 0 || doorway < wait)) wait = doorway;
  wait = std::min<long long>(wait, 60000);
  m_dueAt = wait < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(wait);
  return static_cast<int>(wait);
}

void CHttpService::Run(const std::vector<pollfd>& polled) {
  bool ready = false;
  for (size_t i = m_firstPollEntry; i < m_firstPollEntry + m_pollEntries && i < polled.size(); ++i) {
    ready = ready || polled[i].revents != 0;
  }
  // Accepting and the library's own epoll_wait would find nothing.
  if (!ready && Clock::now() < m_dueAt) return;
  m_doorway.Run(m_listener);
  const Clock::time_point now = Clock::now();
  for (auto& entry : m_connections) {
    Connection& connection = entry.second;
    if (!connection.answered && connection.cutOff.empty() && now >= connection.deadline) {
      // The library then reads the end of the stream and closes it.
      shutdown(connection.socket, SHUT_RDWR);
      connection.cutOff = NoRequestInTime();
    }
  }
  for (HeldBody* held : m_heldBodies) {
    if (held->suspended && now >= held->releaseAt) {
      held->suspended = false;
      MHD_resume_connection(held->connection);
    }
  }
  MHD_run(m_daemon);
}

void CHttpService::HandOver(int socket, const sockaddr_in& from, const std::string& client,
                            Clock::time_point deadline) {
  // Counted by the client a proxy names; the proxy's own connections, which
  // carry many clients, are not capped by address.
  if (!m_proxies.Trusts(client) && OpenFrom(client) >= kConnectionsPerAddress) {
    LogLine(ProxiedPeerText(m_scheme, from, client) + " refused: too many connections from its address");
    close(socket);
    return;
  }
  m_handedOverDeadline = deadline;
  m_handedOverClient = client;
  ++m_handedOver;
  const size_t open = std::count_if(m_connections.begin(), m_connections.end(),
                                    [](const auto& entry) { return entry.second.cutOff.empty(); });
  if (open >= kMaxConnections) CutOffOldestOfTheBusiestAddress();
  // The library closes the socket when it refuses it.
  MHD_add_connection(m_daemon, socket, reinterpret_cast<const sockaddr*>(&from), sizeof from);
}

size_t CHttpService::OpenFrom(const std::string& address) const {
  return static_cast<size_t>(std::count_if(m_connections.begin(), m_connections.end(), [&](const auto& entry) {
    return entry.second.cutOff.empty() && entry.second.address == address;
  }));
}

void CHttpService::CutOffOldestOfTheBusiestAddress() {
  std::map<std::string, size_t> held;
  size_t most = 0;
  for (const auto& entry : m_connections) {
    if (!entry.second.answered && entry.second.cutOff.empty()) most = std::max(most, ++held[entry.second.address]);
  }
  Connection* oldest = nullptr;
  for (auto& entry : m_connections) {
    Connection& connection = entry.second;
    if (!connection.answered && connection.cutOff.empty() && held[connection.address] == most &&
        (oldest == nullptr || connection.order < oldest->order)) {
      oldest = &connection;
    }
  }
  if (oldest == nullptr) return;
  // The library then reads the end of the stream and closes it.
  shutdown(oldest->socket, SHUT_RDWR);
  oldest->cutOff = "the service is full and its address holds the most";
}

bool CHttpService::Respond(MHD_Connection* handle, Connection& connection, const std::string& method,
                           const std::string& version) {
  RequestTarget target;
  if (!SplitRequestTarget(connection.target, target) || !LooksLikeHttpVersion(version)) {
    return Reply(handle, connection, 400, "bad request\n", "malformed request line");
  }
  if (version != "HTTP/1.0" && version != "HTTP/1.1") {
    return Reply(handle, connection, 505, "HTTP version not supported\n", EscapeControlBytes(version) + " -> 505");
  }
  if (RequestHeadSize(handle, method, connection.target, version) > kLargestRequestHead) {
    return Reply(handle, connection, 431, "request head too long\n",
                 "request head longer than " + std::to_string(kLargestRequestHead) + " bytes");
  }
  const std::string line = EscapeControlBytes(method) + " " + EscapeControlBytes(target.path);
  if (method != "GET") return Reply(handle, connection, 405, "only GET is served\n", line + " -> 405");
  if (!m_redirectBase.empty()) {
    auto redirectWith = [&](const std::string& query) {
      return m_redirectBase + target.path + (target.hasQuery ? "?" + query : "");
    };
    const std::string location = redirectWith(target.query);
    LogLine(connection.peer + " " + line + " -> 302 " +
            EscapeControlBytes(redirectWith(MaskSecretValues(target.query))));
    connection.answered = true;
    return QueueResponse(handle, 302, MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT),
                         location.c_str());
  }
  const RequestKindRow* row = FindRequestByPath(target.path);
  if (row == nullptr) {
    AnswerFields answer = FailureAnswer(kRetUnknownRequest);
    return Reply(handle, connection, 404, HttpAnswerBody(answer), line + " -> 404 " + AnswerSummary(answer));
  }
  if (m_proxies.Trusts(connection.address)) ChargeForwardedClient(handle, connection);
  // User id and secrets arrive as form-encoded UTF-8, as the accounts are kept.
  RequestFields fields = ParseQuery(target.query);
  AnswerFields answer = m_accounts.Answer(row->kind, fields, connection.address);
  std::string what = line + " " + row->name;
  if (fields.count(kFieldUserId)) what += " user=" + EscapeControlBytes(fields[kFieldUserId]);
  what += " -> " + AnswerSummary(answer);
  switch (m_faults.http) {
    case HttpFault::kEmptyBody: return Reply(handle, connection, 200, "", what + " (empty body)");
    case HttpFault::kErrorBody:
      return Reply(handle, connection, 500, "Internal Server Error\n", what + " (error body)");
    case HttpFault::kSlowBody: return HoldBody(handle, connection, HttpAnswerBody(answer), what + " (slow body)");
    case HttpFault::kNone:
    case HttpFault::kRedirectToHttp:
    case HttpFault::kRedirectToHttps: break;
  }
  return Reply(handle, connection, 200, HttpAnswerBody(answer), what);
}

void CHttpService::ChargeForwardedClient(MHD_Connection* handle, Connection& connection) {
  std::string forwardedFor;
  MHD_get_connection_values(handle, MHD_HEADER_KIND, &JoinForwardedFor, &forwardedFor);
  const std::string client = m_proxies.ForwardedClient(connection.address, forwardedFor);
  if (client == connection.address) return;
  connection.peer = connection.peer.substr(0, connection.peer.find(" for ")) + " for " + client;
  connection.address = client;
}

bool CHttpService::Reply(MHD_Connection* handle, Connection& connection, unsigned status, const std::string& body,
                         const std::string& logLine) {
  LogLine(connection.peer + " " + logLine);
  connection.answered = true;
  MHD_Response* response =
      MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  return QueueResponse(handle, status, response);
}

bool CHttpService::HoldBody(MHD_Connection* handle, Connection& connection, const std::string& body,
                            const std::string& logLine) {
  LogLine(connection.peer + " " + logLine);
  connection.answered = true;
  auto* held = new HeldBody{this, handle, body, Clock::now() + std::chrono::seconds(m_faults.slowSeconds)};
  try {
    m_heldBodies.insert(held);
  } catch (const std::bad_alloc&) {
    delete held;
    throw;
  }
  // From here on the response owns the held body and frees it.
  MHD_Response* response = MHD_create_response_from_callback(body.size(), 4096, &HttpServiceCallbacks::ReadHeldBody,
                                                             held, &HttpServiceCallbacks::FreeHeldBody);
  if (response == nullptr) HttpServiceCallbacks::FreeHeldBody(held);
  return QueueResponse(handle, 200, response);
}
