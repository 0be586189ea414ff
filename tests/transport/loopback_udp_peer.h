#pragma once
// A UDP peer on 127.0.0.1 for tests and benchmarks: receives and sends raw
// datagrams, or answers every datagram from a thread of its own.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "transport/socket_shim.h"
#include "transport/udp_packet.h"

class LoopbackUdpPeer {
 public:
  // The reply to one request, or nullopt to stay silent.
  using Responder = std::function<std::optional<std::string>(const std::string& request)>;

  LoopbackUdpPeer();   // bound to 127.0.0.1 on a free port
  ~LoopbackUdpPeer();
  LoopbackUdpPeer(const LoopbackUdpPeer&) = delete;
  LoopbackUdpPeer& operator=(const LoopbackUdpPeer&) = delete;

  bool Bound() const { return m_bound; }
  uint16_t Port() const { return m_port; }
  std::string PortText() const { return std::to_string(m_port); }

  // Waits up to timeoutMs for one datagram; false on time-out or failure.
  bool Receive(std::string* datagram, int timeoutMs, uint16_t* senderPort = nullptr);
  bool SendTo(uint16_t port, const std::string& datagram);

  // Answers from a thread until StopResponder or destruction. Do not call
  // Receive while it runs.
  void StartResponder(Responder responder);
  void StopResponder();
  // Every datagram the responder has seen, in order of arrival.
  std::vector<std::string> Received() const;

 private:
  void Respond();

  socket_t m_socket = kInvalidSocket;
  bool m_started = false;
  bool m_bound = false;
  uint16_t m_port = 0;
  Responder m_responder;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::vector<std::string> m_received;
};

// A datagram as the challenge server sends it: big-endian header with
// dwLength 16 + payload size, fixed words 1, 0, 1, then the payload.
std::string WireDatagram(uint16_t command, uint32_t sequence, const std::string& payload,
                         uint16_t param1 = 0, uint16_t param2 = 0);

// Reads the big-endian header at the start of a datagram into host order;
// false when the datagram is shorter than 20 bytes.
bool ReadWireHeader(const std::string& datagram, UDP_HEADER* header);
