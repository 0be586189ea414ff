// Real peers on 127.0.0.1 for the engine tests: a UDP challenge server and an
// HTTP validation server that record what arrives and answer as scripted.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transport/socket_shim.h"

// Answers each request datagram with the next scripted reply; with none
// left, it stays silent.
class UdpPeer {
 public:
  UdpPeer();
  ~UdpPeer();

  // "127.0.0.1:port", as Initialize takes it.
  std::string Endpoint() const;
  // Next reply: a header echoing the request's command and sequence, then
  // payload byte for byte.
  void AnswerWith(const std::string& payload);
  // Next reply: exactly these datagram bytes.
  void AnswerRaw(const std::string& datagram);
  // Every request datagram received so far, whole (header included).
  std::vector<std::string> Requests();

 private:
  struct Reply {
    bool raw;  // false: build the header from the request
    std::string bytes;
  };
  void Serve();

  socket_t m_socket;
  uint16_t m_port;
  bool m_stop;
  std::mutex m_mutex;
  std::deque<Reply> m_replies;
  std::vector<std::string> m_requests;
  std::thread m_thread;
};

// HTTP/1.1 server: one request per connection, answered with the next
// scripted body (status 200), or an empty body when none is left.
class HttpPeer {
 public:
  HttpPeer();
  ~HttpPeer();

  // "http://127.0.0.1:port", as Initialize takes it.
  std::string BaseUrl() const;
  void AnswerWith(const std::string& body);
  // The request targets (path and query) received so far.
  std::vector<std::string> Targets();

 private:
  void Serve();
  void ServeConnection(socket_t connection);

  socket_t m_listener;
  uint16_t m_port;
  bool m_stop;
  std::mutex m_mutex;
  std::deque<std::string> m_bodies;
  std::vector<std::string> m_targets;
  std::thread m_thread;
};

// Fields of a datagram's 20-byte big-endian header.
uint16_t DatagramCommand(const std::string& datagram);
uint32_t DatagramSequence(const std::string& datagram);
uint32_t DatagramLengthField(const std::string& datagram);
// The request's parameter text: its payload opened with the pass phrase.
std::string OpenedPayload(const std::string& datagram);
