#include "tests/transport/loopback_http_server.h"

#include <cctype>
#include <chrono>
#include <cstring>

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
  std::string requestLine = head.substr(0, lineEnd);
  size_t firstSpace = requestLine.find(' ');
  size_t secondSpace = requestLine.find(' ', firstSpace + 1);
  request.method = requestLine.substr(0, firstSpace);
  if (firstSpace != std::string::npos) {
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
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

bool SendAll(socket_t client, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    size_t piece = data.size() - sent;
    if (piece > 1 << 20) piece = 1 << 20;
    int result = send(client, data.data() + sent, static_cast<int>(piece), 0);
    if (result <= 0) return false;
    sent += static_cast<size_t>(result);
  }
  return true;
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

bool SendHead(socket_t client, const HttpReply& reply, const std::string& head, const std::atomic<bool>& stop) {
  return reply.headByteGapMs > 0 ? SendInPieces(client, head, 1, reply.headByteGapMs, stop) : SendAll(client, head);
}

// Sends the body in reply.pieces parts, pausing before each part after the first.
bool SendBody(socket_t client, const HttpReply& reply, const std::atomic<bool>& stop) {
  const size_t pieces = reply.pieces > 1 ? static_cast<size_t>(reply.pieces) : 1;
  const size_t pieceSize = (reply.body.size() + pieces - 1) / pieces;
  return SendInPieces(client, reply.body, pieceSize, reply.pieceGapMs, stop);
}

// Holds the connection open until the client closes it or the server stops.
void WaitForClientToLeave(socket_t client, const std::atomic<bool>& stop) {
  char buffer[1024];
  while (!stop) {
    int ready = WaitReadable(client, kPollMs);
    if (ready < 0) return;
    if (ready == 1 && recv(client, buffer, sizeof(buffer), 0) <= 0) return;
  }
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

HttpReply HttpReply::Silent() {
  HttpReply reply;
  reply.silent = true;
  return reply;
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : m_handler(std::move(handler)) {
  m_started = StartSocketLibrary();
  m_listener = socket(AF_INET, SOCK_STREAM, 0);
  if (m_listener == kInvalidSocket) return;
  sockaddr_in address;
  std::memset(&address, 0, sizeof(address));
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      listen(m_listener, 64) != 0) {
    return;
  }
  m_port = ntohs(address.sin_port);
  m_listening = true;
  m_acceptor = std::thread(&LoopbackHttpServer::AcceptLoop, this);
}

LoopbackHttpServer::~LoopbackHttpServer() {
  m_stop = true;
  if (m_acceptor.joinable()) m_acceptor.join();
  for (Connection& connection : m_connections) {
    if (!*connection.done) ShutdownSocket(connection.socket);   // wakes a thread blocked in send
    connection.thread.join();
    CloseSocket(connection.socket);
  }
  if (m_listener != kInvalidSocket) CloseSocket(m_listener);
  if (m_started) StopSocketLibrary();
}

std::string LoopbackHttpServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

void LoopbackHttpServer::SetHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_handler = std::move(handler);
}

void LoopbackHttpServer::SetReply(HttpReply reply) {
  SetHandler([reply](const HttpRequestRecord&) { return reply; });
}

int LoopbackHttpServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(m_requests.size());
}

std::vector<HttpRequestRecord> LoopbackHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

void LoopbackHttpServer::AcceptLoop() {
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

void LoopbackHttpServer::ReapFinished() {
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
void LoopbackHttpServer::Serve(socket_t client) {
  std::string head;
  if (ReadRequestHead(client, m_stop, &head)) {
    HttpRequestRecord request = ParseRequestHead(head);
    Handler handler;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_requests.push_back(request);
      handler = m_handler;
    }
    HttpReply reply = handler ? handler(request) : HttpReply::Text(std::string(), 404);
    if (reply.silent) {
      WaitForClientToLeave(client, m_stop);
    } else {
      std::string response = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) +
                             "\r\nContent-Type: text/plain\r\nContent-Length: " +
                             std::to_string(reply.body.size()) + "\r\nConnection: close\r\n";
      if (!reply.location.empty()) response += "Location: " + reply.location + "\r\n";
      response += "\r\n";
      if (SendHead(client, reply, response, m_stop) && SendBody(client, reply, m_stop)) ShutdownSocket(client);
    }
  }
}
