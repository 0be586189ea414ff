#include "tests/hostile/http_peer.h"

#include <chrono>
#include <stdexcept>

#include "tests/hostile/loopback_socket.h"

namespace {

// Reads the request head; empty when the client sent none within the wait.
std::string ReadHead(socket_t connection) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    if (WaitReadable(connection, 5000) != 1) return "";
    int n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return "";
    head.append(buffer, static_cast<size_t>(n));
  }
  return head;
}

}  // namespace

HttpPeer::HttpPeer(Script script) : m_script(std::move(script)) {
  StartSocketLibrary();
  m_listener = BindLoopback(SOCK_STREAM, &m_port);
  if (m_listener == kInvalidSocket || listen(m_listener, 16) != 0) {
    throw std::runtime_error("HttpPeer: no loopback listener");
  }
  m_thread = std::thread([this] { Serve(); });
}

HttpPeer::~HttpPeer() {
  m_stop = true;
  m_thread.join();
  CloseSocket(m_listener);
  StopSocketLibrary();
}

std::string HttpPeer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

std::vector<std::string> HttpPeer::RequestLines() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requestLines;
}

void HttpPeer::Reset(socket_t connection) {
  linger abort = {1, 0};
  setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
             sizeof abort);
}

void HttpPeer::Stall(socket_t connection, int maxMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
  char byte;
  while (!m_stop && std::chrono::steady_clock::now() < end) {
    if (WaitReadable(connection, 50) == 1 && recv(connection, &byte, 1, 0) <= 0) return;
  }
}

void HttpPeer::Serve() {
  while (!m_stop) {
    if (WaitReadable(m_listener, 50) != 1) continue;
    socket_t connection = accept(m_listener, nullptr, nullptr);
    if (connection == kInvalidSocket) continue;
    std::string head = ReadHead(connection);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_requestLines.push_back(head.substr(0, head.find("\r\n")));
    }
    m_script(*this, connection, head);
    CloseSocket(connection);
  }
}

std::string HttpResponse(const std::string& status, const std::string& body,
                         const std::string& extraHeaders) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}
