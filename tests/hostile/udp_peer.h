#pragma once
// A UDP challenge-server stand-in on loopback that answers each request with
// a scripted behaviour, so that tests can send the engine what no sound
// server would: nothing, fragments, lying headers, oversized or stray datagrams.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transport/socket_shim.h"

class UdpPeer {
 public:
  // Called on the peer's thread for every request; index counts from 0.
  using Script = std::function<void(UdpPeer& peer, int index, const sockaddr_in& client)>;

  explicit UdpPeer(Script script);
  ~UdpPeer();
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  // "127.0.0.1:port", as Initialize takes it.
  std::string Endpoint() const;
  int RequestCount() const { return m_requests.load(); }
  std::vector<std::string> Requests() const;

  // For scripts: send from the peer's own socket, or from a second socket
  // bound to another port.
  void Send(const std::string& datagram, const sockaddr_in& to);
  void SendFromOtherPort(const std::string& datagram, const sockaddr_in& to);

 private:
  void Serve();

  Script m_script;
  socket_t m_socket = kInvalidSocket;
  socket_t m_otherSocket = kInvalidSocket;
  unsigned short m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_requests{0};
  mutable std::mutex m_mutex;
  std::vector<std::string> m_received;
  std::thread m_thread;
};

// An answer datagram as a server sends it: the 20-byte big-endian header
// (dwLength = 16 + payload length unless given) followed by the payload.
std::string AnswerDatagram(const std::string& payload, unsigned command = 0xC500);
std::string AnswerDatagramWithLength(const std::string& payload, uint32_t dwLength);
