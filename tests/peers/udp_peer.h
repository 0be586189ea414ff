#pragma once
// A UDP challenge-server stand-in on 127.0.0.1, on a port the system picks.
// Passive, a test receives and sends datagrams by hand; scripted, a thread of
// its own meets every request as the script says: an answer, nothing,
// fragments, lying headers, bursts, or the next answer queued by the test.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "voka/transport/socket_shim.h"

class UdpPeer {
 public:
  // Called on the peer's thread for every request; index counts from 0.
  // Request(index) is the request.
  using Script = std::function<void(UdpPeer& peer, int index, const sockaddr_in& client)>;

  UdpPeer();
  explicit UdpPeer(Script script);
  ~UdpPeer();
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  uint16_t Port() const { return m_port; }
  std::string PortText() const { return std::to_string(m_port); }
  std::string Endpoint() const { return "127.0.0.1:" + PortText(); }  // as Initialize takes it

  // Passive use: waits up to timeoutMs for one datagram; false on time-out.
  bool Receive(std::string* datagram, int timeoutMs, uint16_t* senderPort = nullptr);
  bool SendTo(uint16_t port, const std::string& datagram);

  // For scripts: send from the peer's own socket, or from a second socket
  // bound to another port.
  void Send(const std::string& datagram, const sockaddr_in& to);
  void SendFromOtherPort(const std::string& datagram, const sockaddr_in& to);

  // The script that sends the next queued answer, or nothing when none is
  // queued. AnswerWith queues a payload behind a header echoing the request's
  // command and sequence; AnswerRaw queues exact datagram bytes.
  static Script FromQueue();
  void AnswerWith(const std::string& payload);
  void AnswerRaw(const std::string& datagram);

  // Every request the script has seen, whole, in order of arrival.
  int RequestCount() const;
  std::vector<std::string> Requests() const;
  std::string Request(int index) const;

 private:
  struct Queued {
    bool raw;
    std::string bytes;
  };
  void Serve();
  void SendQueued(int index, const sockaddr_in& client);

  Script m_script;
  socket_t m_socket = kInvalidSocket;
  socket_t m_otherSocket = kInvalidSocket;
  uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::vector<std::string> m_received;
  std::deque<Queued> m_queue;
  std::thread m_thread;
};
