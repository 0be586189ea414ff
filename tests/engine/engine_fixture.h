// An engine wired to a loopback UDP peer and a loopback HTTP server.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "tests/peers/http_peer.h"
#include "tests/peers/udp_peer.h"
#include "tests/peers/wire_datagram.h"
#include "voka/client_authen.h"

// A UDP answer payload: the fields, each ended by a NUL, as servers send them.
inline std::string NulFields(std::initializer_list<std::string> fields) {
  std::string payload;
  for (const std::string& field : fields) {
    payload += field;
    payload += '\0';
  }
  return payload;
}

class EngineWithPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.SetUdpTimeOut(2);
    engine.Initialize(udp.Endpoint().c_str(), http.BaseUrl().c_str());
  }

  // A dynamic-key request whose UDP answer lacks RETVALUE switches the
  // engine to HTTP; the HTTP answer gives guid (no GUID field when empty).
  void SwitchToHttp(const std::string& guid = "") {
    udp.AnswerWith(NulFields({"NOTE=udp"}));
    http.AnswerWith(guid.empty() ? "RETVALUE=0" : "RETVALUE=0^$^GUID=" + guid);
    ASSERT_EQ(engine.GetDynamicKey(""), 0);
    ASSERT_FALSE(engine.UsesUdp());
    ASSERT_EQ(engine.Guid(), guid);
  }

  // The parameter text of the last datagram, and its command.
  std::string LastParameterText() {
    const auto requests = udp.Requests();
    return requests.empty() ? "<none>" : OpenedPayload(requests.back());
  }
  uint16_t LastCommand() {
    const auto requests = udp.Requests();
    return requests.empty() ? 0 : DatagramCommand(requests.back());
  }
  std::string LastTarget() {
    const auto targets = http.Targets();
    return targets.empty() ? "<none>" : targets.back();
  }

  UdpPeer udp{UdpPeer::FromQueue()};
  HttpPeer http;
  CClientAuthen engine;
};
