// The loopback peers of the transport tests, scripted for the engine: each
// request gets the next queued answer and is recorded.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/transport/loopback_http_server.h"
#include "tests/transport/loopback_udp_peer.h"

// A UDP challenge server on 127.0.0.1. With no answer queued it stays silent.
class ScriptedUdpPeer {
 public:
  ScriptedUdpPeer();
  ~ScriptedUdpPeer();

  // "127.0.0.1:port", as Initialize takes it.
  std::string Endpoint() const;
  // Next answer: a header echoing the request's command and sequence, then
  // payload byte for byte.
  void AnswerWith(const std::string& payload);
  // Next answer: exactly these datagram bytes.
  void AnswerRaw(const std::string& datagram);
  // Every request datagram received so far, whole (header included).
  std::vector<std::string> Requests() const;

 private:
  struct Reply {
    bool raw;  // false: the header is built from the request
    std::string bytes;
  };
  std::optional<std::string> Answer(const std::string& request);

  LoopbackUdpPeer m_peer;
  std::mutex m_mutex;
  std::deque<Reply> m_replies;
};

// An HTTP validation server on 127.0.0.1: each request gets the next queued
// body with status 200, or an empty body when none is queued.
class ScriptedHttpServer {
 public:
  ScriptedHttpServer();

  // "http://127.0.0.1:port", as Initialize takes it.
  std::string BaseUrl() const { return m_server.BaseUrl(); }
  void AnswerWith(const std::string& body);
  // The request targets (path and query) received so far.
  std::vector<std::string> Targets() const;

 private:
  std::mutex m_mutex;
  std::deque<std::string> m_bodies;
  LoopbackHttpServer m_server;
};

// Fields of a datagram's 20-byte big-endian header.
uint16_t DatagramCommand(const std::string& datagram);
uint32_t DatagramSequence(const std::string& datagram);
uint32_t DatagramLengthField(const std::string& datagram);
// The request's parameter text: its payload opened with the pass phrase.
std::string OpenedPayload(const std::string& datagram);
