#include "tests/engine/loopback_peers.h"

#include <cstring>
#include <stdexcept>

#include "engine/seal_param.h"

namespace {

constexpr int kPollMs = 50;
constexpr size_t kHeaderSize = 20;

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

uint16_t BoundPort(socket_t socket) {
  sockaddr_in address{};
  socklen_t size = sizeof(address);
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("getsockname failed");
  }
  return ntohs(address.sin_port);
}

socket_t BoundSocket(int type) {
  if (!StartSocketLibrary()) {
    throw std::runtime_error("socket library did not start");
  }
  const socket_t created = socket(AF_INET, type, 0);
  const sockaddr_in address = LoopbackAddress(0);
  if (created == kInvalidSocket ||
      bind(created, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    throw std::runtime_error("cannot bind a loopback socket");
  }
  return created;
}

uint32_t BigEndianAt(const std::string& bytes, size_t offset, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width && offset + i < bytes.size(); ++i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  }
  return value;
}

void AppendBigEndian(std::string& bytes, uint32_t value, size_t width) {
  for (size_t i = width; i-- > 0;) {
    bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

}  // namespace

uint16_t DatagramCommand(const std::string& datagram) {
  return static_cast<uint16_t>(BigEndianAt(datagram, 4, 2));
}

uint32_t DatagramSequence(const std::string& datagram) { return BigEndianAt(datagram, 6, 4); }

uint32_t DatagramLengthField(const std::string& datagram) { return BigEndianAt(datagram, 0, 4); }

std::string OpenedPayload(const std::string& datagram) {
  std::string text;
  if (datagram.size() < kHeaderSize ||
      !OpenSealedParam(datagram.data() + kHeaderSize, datagram.size() - kHeaderSize,
                       kSealPassPhrase, text)) {
    return "<not sealed>";
  }
  return text;
}

UdpPeer::UdpPeer() : m_socket(BoundSocket(SOCK_DGRAM)), m_port(BoundPort(m_socket)), m_stop(false) {
  m_thread = std::thread(&UdpPeer::Serve, this);
}

UdpPeer::~UdpPeer() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_thread.join();
  CloseSocket(m_socket);
  StopSocketLibrary();
}

std::string UdpPeer::Endpoint() const { return "127.0.0.1:" + std::to_string(m_port); }

void UdpPeer::AnswerWith(const std::string& payload) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_replies.push_back({false, payload});
}

void UdpPeer::AnswerRaw(const std::string& datagram) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_replies.push_back({true, datagram});
}

std::vector<std::string> UdpPeer::Requests() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

void UdpPeer::Serve() {
  std::vector<char> buffer(65536);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_stop) {
        return;
      }
    }
    if (WaitReadable(m_socket, kPollMs) != 1) {
      continue;
    }
    sockaddr_in from{};
    const int count = ReceiveDatagram(m_socket, buffer.data(), static_cast<int>(buffer.size()), &from);
    if (count < 0) {
      continue;
    }
    const std::string request(buffer.data(), count);
    Reply reply;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_requests.push_back(request);
      if (m_replies.empty()) {
        continue;
      }
      reply = m_replies.front();
      m_replies.pop_front();
    }
    std::string datagram = reply.bytes;
    if (!reply.raw) {
      const std::string& payload = reply.bytes;
      datagram.clear();
      AppendBigEndian(datagram, static_cast<uint32_t>(16 + payload.size()), 4);
      AppendBigEndian(datagram, DatagramCommand(request), 2);
      AppendBigEndian(datagram, DatagramSequence(request), 4);
      for (uint32_t word : {0u, 1u, 0u, 0u, 1u}) {
        AppendBigEndian(datagram, word, 2);
      }
      datagram += payload;
    }
    SendDatagram(m_socket, datagram.data(), static_cast<int>(datagram.size()), from);
  }
}

HttpPeer::HttpPeer()
    : m_listener(BoundSocket(SOCK_STREAM)), m_port(BoundPort(m_listener)), m_stop(false) {
  if (listen(m_listener, 8) != 0) {
    throw std::runtime_error("listen failed");
  }
  m_thread = std::thread(&HttpPeer::Serve, this);
}

HttpPeer::~HttpPeer() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_thread.join();
  CloseSocket(m_listener);
  StopSocketLibrary();
}

std::string HttpPeer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

void HttpPeer::AnswerWith(const std::string& body) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bodies.push_back(body);
}

std::vector<std::string> HttpPeer::Targets() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_targets;
}

void HttpPeer::Serve() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_stop) {
        return;
      }
    }
    if (WaitReadable(m_listener, kPollMs) != 1) {
      continue;
    }
    const socket_t connection = accept(m_listener, nullptr, nullptr);
    if (connection != kInvalidSocket) {
      ServeConnection(connection);
      CloseSocket(connection);
    }
  }
}

void HttpPeer::ServeConnection(socket_t connection) {
  std::string request;
  char chunk[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    if (WaitReadable(connection, 5000) != 1) {
      return;
    }
    const int count = recv(connection, chunk, sizeof(chunk), 0);
    if (count <= 0) {
      return;
    }
    request.append(chunk, count);
  }
  // Request line: GET <target> HTTP/1.1
  const size_t targetStart = request.find(' ') + 1;
  const size_t targetEnd = request.find(' ', targetStart);
  std::string body;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_targets.push_back(request.substr(targetStart, targetEnd - targetStart));
    if (!m_bodies.empty()) {
      body = m_bodies.front();
      m_bodies.pop_front();
    }
  }
  const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  size_t sent = 0;
  while (sent < response.size()) {
    const int count = send(connection, response.data() + sent,
                           static_cast<int>(response.size() - sent), 0);
    if (count <= 0) {
      return;
    }
    sent += count;
  }
}
