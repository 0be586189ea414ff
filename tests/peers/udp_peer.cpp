#include "tests/peers/udp_peer.h"

#include <stdexcept>

#include "tests/peers/loopback_socket.h"
#include "tests/peers/wire_datagram.h"

namespace {

constexpr int kLargestDatagram = 65536;
constexpr int kPollMs = 50;

}  // namespace

UdpPeer::UdpPeer() {
  StartSocketLibrary();
  uint16_t otherPort = 0;
  m_socket = BindLoopback(SOCK_DGRAM, &m_port);
  m_otherSocket = BindLoopback(SOCK_DGRAM, &otherPort);
  if (m_socket == kInvalidSocket || m_otherSocket == kInvalidSocket) {
    throw std::runtime_error("UdpPeer: no loopback socket");
  }
}

UdpPeer::UdpPeer(Script script) : UdpPeer() {
  m_script = std::move(script);
  m_thread = std::thread([this] { Serve(); });
}

UdpPeer::~UdpPeer() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  CloseSocket(m_socket);
  CloseSocket(m_otherSocket);
  StopSocketLibrary();
}

bool UdpPeer::Receive(std::string* datagram, int timeoutMs, uint16_t* senderPort) {
  if (WaitReadable(m_socket, timeoutMs) != 1) return false;
  std::string buffer(kLargestDatagram, '\0');
  sockaddr_in sender;
  const int received = ReceiveDatagram(m_socket, &buffer[0], kLargestDatagram, &sender);
  if (received < 0) return false;
  datagram->assign(buffer, 0, static_cast<size_t>(received));
  if (senderPort != nullptr) *senderPort = ntohs(sender.sin_port);
  return true;
}

bool UdpPeer::SendTo(uint16_t port, const std::string& datagram) {
  const int length = static_cast<int>(datagram.size());
  return SendDatagram(m_socket, datagram.data(), length, LoopbackAddress(port)) == length;
}

void UdpPeer::Send(const std::string& datagram, const sockaddr_in& to) {
  SendDatagram(m_socket, datagram.data(), static_cast<int>(datagram.size()), to);
}

void UdpPeer::SendFromOtherPort(const std::string& datagram, const sockaddr_in& to) {
  SendDatagram(m_otherSocket, datagram.data(), static_cast<int>(datagram.size()), to);
}

UdpPeer::Script UdpPeer::FromQueue() {
  return [](UdpPeer& peer, int index, const sockaddr_in& client) { peer.SendQueued(index, client); };
}

void UdpPeer::AnswerWith(const std::string& payload) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_queue.push_back({false, payload});
}

void UdpPeer::AnswerRaw(const std::string& datagram) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_queue.push_back({true, datagram});
}

void UdpPeer::SendQueued(int index, const sockaddr_in& client) {
  Queued next;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue.empty()) return;
    next = m_queue.front();
    m_queue.pop_front();
  }
  const std::string request = Request(index);
  Send(next.raw ? next.bytes : WireDatagram(DatagramCommand(request), DatagramSequence(request), next.bytes), client);
}

int UdpPeer::RequestCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(m_received.size());
}

std::vector<std::string> UdpPeer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

std::string UdpPeer::Request(int index) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received.at(static_cast<size_t>(index));
}

void UdpPeer::Serve() {
  std::string buffer(kLargestDatagram, '\0');
  while (!m_stop) {
    if (WaitReadable(m_socket, kPollMs) != 1) continue;
    sockaddr_in client;
    const int received = ReceiveDatagram(m_socket, &buffer[0], kLargestDatagram, &client);
    if (received < 0) continue;
    const std::string request(buffer, 0, static_cast<size_t>(received));
    int index;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      index = static_cast<int>(m_received.size());
      m_received.push_back(request);
    }
    m_script(*this, index, client);
  }
}
