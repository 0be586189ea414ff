#include "tests/hostile/udp_peer.h"

#include <stdexcept>

#include "tests/hostile/loopback_socket.h"

UdpPeer::UdpPeer(Script script) : m_script(std::move(script)) {
  StartSocketLibrary();
  unsigned short otherPort = 0;
  m_socket = BindLoopback(SOCK_DGRAM, &m_port);
  m_otherSocket = BindLoopback(SOCK_DGRAM, &otherPort);
  if (m_socket == kInvalidSocket || m_otherSocket == kInvalidSocket) {
    throw std::runtime_error("UdpPeer: no loopback socket");
  }
  m_thread = std::thread([this] { Serve(); });
}

UdpPeer::~UdpPeer() {
  m_stop = true;
  m_thread.join();
  CloseSocket(m_socket);
  CloseSocket(m_otherSocket);
  StopSocketLibrary();
}

std::string UdpPeer::Endpoint() const { return "127.0.0.1:" + std::to_string(m_port); }

std::vector<std::string> UdpPeer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

void UdpPeer::Send(const std::string& datagram, const sockaddr_in& to) {
  SendDatagram(m_socket, datagram.data(), static_cast<int>(datagram.size()), to);
}

void UdpPeer::SendFromOtherPort(const std::string& datagram, const sockaddr_in& to) {
  SendDatagram(m_otherSocket, datagram.data(), static_cast<int>(datagram.size()), to);
}

void UdpPeer::Serve() {
  std::string buffer(65536, '\0');
  while (!m_stop) {
    if (WaitReadable(m_socket, 50) != 1) continue;
    sockaddr_in client;
    int n = ReceiveDatagram(m_socket, &buffer[0], static_cast<int>(buffer.size()), &client);
    if (n < 0) continue;
    int index = m_requests++;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_received.emplace_back(buffer.data(), static_cast<size_t>(n));
    }
    m_script(*this, index, client);
  }
}

namespace {

void PutBigEndian(std::string& out, uint32_t value, int width) {
  for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
    out += static_cast<char>((value >> shift) & 0xFF);
  }
}

}  // namespace

std::string AnswerDatagramWithLength(const std::string& payload, uint32_t dwLength) {
  std::string datagram;
  PutBigEndian(datagram, dwLength, 4);
  PutBigEndian(datagram, 0xC500, 2);
  PutBigEndian(datagram, 10001, 4);
  for (uint32_t word : {0u, 1u, 0u, 0u, 1u}) PutBigEndian(datagram, word, 2);
  return datagram + payload;
}

std::string AnswerDatagram(const std::string& payload, unsigned command) {
  std::string datagram = AnswerDatagramWithLength(payload, 16 + static_cast<uint32_t>(payload.size()));
  datagram[4] = static_cast<char>((command >> 8) & 0xFF);
  datagram[5] = static_cast<char>(command & 0xFF);
  return datagram;
}
