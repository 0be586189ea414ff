#include "tests/transport/loopback_udp_peer.h"

#include <cstring>

namespace {

constexpr int kLargestDatagram = 65536;
constexpr int kResponderPollMs = 50;

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof(address));
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

}  // namespace

LoopbackUdpPeer::LoopbackUdpPeer() {
  m_started = StartSocketLibrary();
  m_socket = socket(AF_INET, SOCK_DGRAM, 0);
  if (m_socket == kInvalidSocket) return;
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof(address);
  if (bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return;
  }
  m_port = ntohs(address.sin_port);
  m_bound = true;
}

LoopbackUdpPeer::~LoopbackUdpPeer() {
  StopResponder();
  if (m_socket != kInvalidSocket) CloseSocket(m_socket);
  if (m_started) StopSocketLibrary();
}

bool LoopbackUdpPeer::Receive(std::string* datagram, int timeoutMs, uint16_t* senderPort) {
  if (!m_bound || WaitReadable(m_socket, timeoutMs) != 1) return false;
  std::vector<char> buffer(kLargestDatagram);
  sockaddr_in sender;
  int received = ReceiveDatagram(m_socket, buffer.data(), kLargestDatagram, &sender);
  if (received < 0) return false;
  datagram->assign(buffer.data(), static_cast<size_t>(received));
  if (senderPort != nullptr) *senderPort = ntohs(sender.sin_port);
  return true;
}

bool LoopbackUdpPeer::SendTo(uint16_t port, const std::string& datagram) {
  int length = static_cast<int>(datagram.size());
  return SendDatagram(m_socket, datagram.data(), length, LoopbackAddress(port)) == length;
}

void LoopbackUdpPeer::StartResponder(Responder responder) {
  StopResponder();
  m_responder = std::move(responder);
  m_stop = false;
  m_thread = std::thread(&LoopbackUdpPeer::Respond, this);
}

void LoopbackUdpPeer::StopResponder() {
  if (!m_thread.joinable()) return;
  m_stop = true;
  m_thread.join();
}

std::vector<std::string> LoopbackUdpPeer::Received() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

void LoopbackUdpPeer::Respond() {
  std::vector<char> buffer(kLargestDatagram);
  while (!m_stop) {
    if (WaitReadable(m_socket, kResponderPollMs) != 1) continue;
    sockaddr_in sender;
    int received = ReceiveDatagram(m_socket, buffer.data(), kLargestDatagram, &sender);
    if (received < 0) continue;
    std::string request(buffer.data(), static_cast<size_t>(received));
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_received.push_back(request);
    }
    std::optional<std::string> reply = m_responder(request);
    if (reply) SendDatagram(m_socket, reply->data(), static_cast<int>(reply->size()), sender);
  }
}

namespace {

void PutBigEndian(std::string& out, uint32_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
}

uint32_t GetBigEndian(const std::string& in, size_t offset, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | static_cast<unsigned char>(in[offset + i]);
  return value;
}

}  // namespace

std::string WireDatagram(uint16_t command, uint32_t sequence, const std::string& payload,
                         uint16_t param1, uint16_t param2) {
  std::string datagram;
  PutBigEndian(datagram, static_cast<uint32_t>(payload.size()) + 16, 4);
  PutBigEndian(datagram, command, 2);
  PutBigEndian(datagram, sequence, 4);
  PutBigEndian(datagram, param1, 2);
  PutBigEndian(datagram, 1, 2);
  PutBigEndian(datagram, 0, 2);
  PutBigEndian(datagram, param2, 2);
  PutBigEndian(datagram, 1, 2);
  return datagram + payload;
}

bool ReadWireHeader(const std::string& datagram, UDP_HEADER* header) {
  if (datagram.size() < sizeof(UDP_HEADER)) return false;
  header->dwLength = GetBigEndian(datagram, 0, 4);
  header->wCommand = static_cast<uint16_t>(GetBigEndian(datagram, 4, 2));
  header->dwSequence = GetBigEndian(datagram, 6, 4);
  header->wParam1 = static_cast<uint16_t>(GetBigEndian(datagram, 10, 2));
  header->wFixed1 = static_cast<uint16_t>(GetBigEndian(datagram, 12, 2));
  header->wFixed2 = static_cast<uint16_t>(GetBigEndian(datagram, 14, 2));
  header->wParam2 = static_cast<uint16_t>(GetBigEndian(datagram, 16, 2));
  header->wFixed3 = static_cast<uint16_t>(GetBigEndian(datagram, 18, 2));
  return true;
}
