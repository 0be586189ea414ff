#include "tests/peers/http_peer.h"

#include <cctype>
#include <chrono>
#include <optional>
#include <stdexcept>

#include "tests/peers/loopback_socket.h"

namespace {

constexpr int kPollMs = 50;
constexpr size_t kLargestRequestHead = 65536;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

// Reads up to the blank line that ends the request head; false when the
// client left first or the server is stopping.
bool ReadRequestHead(socket_t client, const std::atomic<bool>& stop, std::string* head) {
  char buffer[4096];
  while (head->find("\r\n\r\n") == std::string::npos) {
    if (stop || head->size() > kLargestRequestHead) return false;
    int ready = WaitReadable(client, kPollMs);
    if (ready < 0) return false;
    if (ready == 0) continue;
    int received = recv(client, buffer, sizeof(buffer), 0);
    if (received <= 0) return false;
    head->append(buffer, static_cast<size_t>(received));
  }
  return true;
}

HttpRequestRecord ParseRequestHead(const std::string& head) {
  HttpRequestRecord request;
  size_t lineEnd = head.find("\r\n");
  request.line = head.substr(0, lineEnd);
  size_t firstSpace = request.line.find(' ');
  size_t secondSpace = request.line.find(' ', firstSpace + 1);
  request.method = request.line.substr(0, firstSpace);
  if (firstSpace != std::string::npos) {
    request.target = request.line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  }
  size_t position = lineEnd + 2;
  while (position < head.size()) {
    size_t end = head.find("\r\n", position);
    if (end == std::string::npos || end == position) break;
    std::string line = head.substr(position, end - position);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      request.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
    position = end + 2;
  }
  return request;
}

// Sends data in parts of pieceSize bytes, pausing gapMs before each part
// after the first; false when the client left or the server is stopping.
bool SendInPieces(socket_t client, const std::string& data, size_t pieceSize, int gapMs,
                  const std::atomic<bool>& stop) {
  for (size_t start = 0; start < data.size(); start += pieceSize) {
    if (start > 0) {
      for (int waited = 0; waited < gapMs && !stop; waited += kPollMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      }
    }
    if (stop || !SendAll(client, data.substr(start, pieceSize))) return false;
  }
  return true;
}

}  // namespace

std::string HttpRequestRecord::Header(const std::string& name) const {
  std::string wanted = Lower(name);
  for (const auto& header : headers) {
    if (Lower(header.first) == wanted) return header.second;
  }
  return std::string();
}

HttpReply HttpReply::Text(std::string body, int status) {
  HttpReply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

HttpReply HttpReply::Trickle(std::string body, int pieces, int pieceGapMs) {
  HttpReply reply = Text(std::move(body));
  reply.pieces = pieces;
  reply.pieceGapMs = pieceGapMs;
  return reply;
}

HttpReply HttpReply::TrickleHead(std::string body, int byteGapMs) {
  HttpReply reply = Text(std::move(body));
  reply.headByteGapMs = byteGapMs;
  return reply;
}

HttpReply HttpReply::Redirect(std::string location, int status) {
  HttpReply reply;
  reply.status = status;
  reply.location = std::move(location);
  return reply;
}

HttpPeer::HttpPeer(Handler handler) : m_handler(std::move(handler)) { Listen(); }

HttpPeer::HttpPeer(Script script) : m_script(std::move(script)) { Listen(); }

void HttpPeer::Listen() {
  StartSocketLibrary();
  m_listener = BindLoopback(SOCK_STREAM, &m_port);
  if (m_listener == kInvalidSocket || listen(m_listener, 64) != 0) {
    throw std::runtime_error("HttpPeer: no loopback listener");
  }
  m_acceptor = std::thread(&HttpPeer::AcceptLoop, this);
}

HttpPeer::~HttpPeer() {
  m_stop = true;
  m_acceptor.join();
  for (Connection& connection : m_connections) {
    if (!*connection.done) ShutdownSocket(connection.socket);  // wakes a thread blocked in send
    connection.thread.join();
    CloseSocket(connection.socket);
  }
  CloseSocket(m_listener);
  StopSocketLibrary();
}

std::string HttpPeer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

void HttpPeer::SetHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_handler = std::move(handler);
}

void HttpPeer::SetReply(const HttpReply& reply) {
  SetHandler([reply](const HttpRequestRecord&) { return reply; });
}

void HttpPeer::AnswerWith(const std::string& body) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_queuedBodies.push_back(body);
}

int HttpPeer::RequestCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(m_requests.size());
}

std::vector<HttpRequestRecord> HttpPeer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

std::vector<std::string> HttpPeer::Targets() const {
  std::vector<std::string> targets;
  for (const HttpRequestRecord& request : Requests()) targets.push_back(request.target);
  return targets;
}

void HttpPeer::Reset(socket_t connection) {
  linger abort = {1, 0};
  setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
}

void HttpPeer::Stall(socket_t connection, int maxMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
  char byte;
  while (!m_stop && std::chrono::steady_clock::now() < end) {
    const int ready = WaitReadable(connection, kPollMs);
    if (ready < 0 || (ready == 1 && recv(connection, &byte, 1, 0) <= 0)) return;
  }
}

void HttpPeer::AcceptLoop() {
  while (!m_stop) {
    ReapFinished();
    if (WaitReadable(m_listener, kPollMs) != 1) continue;
    socket_t client = accept(m_listener, nullptr, nullptr);
    if (client == kInvalidSocket) continue;
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, client, done] {
      Serve(client);
      *done = true;
    });
    m_connections.push_back(Connection{client, std::move(thread), done});
  }
}

void HttpPeer::ReapFinished() {
  for (auto it = m_connections.begin(); it != m_connections.end();) {
    if (*it->done) {
      it->thread.join();
      CloseSocket(it->socket);
      it = m_connections.erase(it);
    } else {
      ++it;
    }
  }
}

// The socket is closed by the acceptor or the destructor once this thread
// has ended, so that no other thread can touch a reused descriptor.
void HttpPeer::Serve(socket_t client) {
  std::string head;
  if (!ReadRequestHead(client, m_stop, &head)) return;
  const HttpRequestRecord request = ParseRequestHead(head);
  Handler handler;
  std::optional<std::string> queued;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(request);
    handler = m_handler;
    if (!m_queuedBodies.empty()) {
      queued = m_queuedBodies.front();
      m_queuedBodies.pop_front();
    }
  }
  if (m_script) {
    m_script(*this, client, head);
    return;
  }
  SendReply(client, queued    ? HttpReply::Text(*queued)
                    : handler ? handler(request)
                              : HttpReply::Text(std::string(), 404));
}

void HttpPeer::SendReply(socket_t client, const HttpReply& reply) {
  std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) +
                     "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(reply.body.size()) +
                     "\r\nConnection: close\r\n";
  if (!reply.location.empty()) head += "Location: " + reply.location + "\r\n";
  head += "\r\n";
  const bool headSent =
      reply.headByteGapMs > 0 ? SendInPieces(client, head, 1, reply.headByteGapMs, m_stop) : SendAll(client, head);
  const size_t pieces = reply.pieces > 1 ? static_cast<size_t>(reply.pieces) : 1;
  const size_t pieceSize = (reply.body.size() + pieces - 1) / pieces;
  if (headSent && SendInPieces(client, reply.body, pieceSize, reply.pieceGapMs, m_stop)) ShutdownSocket(client);
}

std::string HttpResponse(const std::string& status, const std::string& body, const std::string& extraHeaders) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
         extraHeaders + "\r\n" + body;
}
