// The engine against HTTP peers that answer badly, end to end on loopback.
// A UDP stand-in turns the dynamic-key request away at once, so the engine
// falls back to HTTP and meets the hostile peer there.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "protocol/engine_messages.h"
#include "tests/hostile/login_outcome.h"
#include "tests/peers/http_peer.h"
#include "tests/peers/loopback_socket.h"
#include "tests/peers/udp_peer.h"
#include "tests/peers/wire_datagram.h"
#include "voka/client_authen.h"

namespace {

constexpr double kReceiveTimeOutSeconds = 5.0;
const std::string kRequestLine = "GET /zq.ack?INDICATION=hostile HTTP/1.1";

class HostileHttp : public ::testing::Test {
 protected:
  LoginOutcome DynamicKeyAgainst(HttpPeer& http) {
    engine.Initialize(refusingUdp.Endpoint().c_str(), http.BaseUrl().c_str());
    engine.SetUdpTimeOut(1);
    LoginOutcome outcome = Measure(engine, [this] { return engine.GetDynamicKey("hostile"); });
    EXPECT_FALSE(engine.UsesUdp());
    EXPECT_EQ(refusingUdp.RequestCount(), 1);
    const std::vector<HttpRequestRecord> requests = http.Requests();
    EXPECT_EQ(requests.empty() ? "" : requests[0].line, kRequestLine);
    return outcome;
  }

  void ExpectFailedFetch(const LoginOutcome& outcome, double atMostSeconds) {
    EXPECT_EQ(outcome.result, AUTHEN_E_FAIL);
    EXPECT_EQ(outcome.fields, NetworkErrorOnly());
    EXPECT_EQ(engine.Guid(), "");
    EXPECT_LT(outcome.seconds, atMostSeconds);
  }

  UdpPeer refusingUdp{[](UdpPeer& peer, int, const sockaddr_in& client) {
    peer.Send(AnswerDatagram(std::string("RETVALUE=-10332102\0", 19), 0x5300), client);
  }};
  CClientAuthen engine;
};

TEST_F(HostileHttp, PeerThatClosesAtOnceIsANetworkFailure) {
  HttpPeer http([](HttpPeer&, socket_t, const std::string&) {});
  ExpectFailedFetch(DynamicKeyAgainst(http), kReceiveTimeOutSeconds);
}

// A body that breaks off is no answer, however much of a verdict came first.
struct CutShort {
  const char* head;
  void (*end)(HttpPeer& peer, socket_t connection);
};  // then closes
class CutShortBody : public HostileHttp, public ::testing::WithParamInterface<CutShort> {};

TEST_P(CutShortBody, IsANetworkFailure) {
  const CutShort cut = GetParam();
  HttpPeer http([cut](HttpPeer& peer, socket_t connection, const std::string&) {
    SendAll(connection, std::string("HTTP/1.1 200 OK\r\n") + cut.head + "\r\nRETVALUE=0^$^GUID=half");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the client reads what came
    if (cut.end != nullptr) cut.end(peer, connection);
  });
  ExpectFailedFetch(DynamicKeyAgainst(http), kReceiveTimeOutSeconds + 3);
}

INSTANTIATE_TEST_SUITE_P(HostileHttp, CutShortBody,
                         ::testing::Values(CutShort{"Content-Length: 68\r\n", nullptr},
#ifndef _WIN32  // WinINet under Wine shows a close as the last chunk
                                           CutShort{"Transfer-Encoding: chunked\r\n\r\n16", nullptr},
#endif
                                           CutShort{
                                               "Content-Length: 68\r\n",
                                               [](HttpPeer&, socket_t connection) { HttpPeer::Reset(connection); }},
                                           CutShort{"Content-Length: 68\r\n", [](HttpPeer& peer, socket_t socket) {
                                                      peer.Stall(socket, 15000);
                                                    }}));

TEST_F(HostileHttp, HeadersThenSilenceEndsAfterTheReceiveTimeOut) {
  HttpPeer http([](HttpPeer& peer, socket_t connection, const std::string&) {
    SendAll(connection, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
    peer.Stall(connection, 15000);
  });
  LoginOutcome outcome = DynamicKeyAgainst(http);
  ExpectFailedFetch(outcome, kReceiveTimeOutSeconds + 3);
  EXPECT_GE(outcome.seconds, kReceiveTimeOutSeconds - 0.5);
}

TEST_F(HostileHttp, ErrorPageIsParsedAndHasNoVerdict) {
  HttpPeer http([](HttpPeer&, socket_t connection, const std::string&) {
    SendAll(connection,
            HttpResponse("500 Internal Server Error", "<html><body><h1>Internal Server Error</h1></body></html>",
                         "Content-Type: text/html\r\n"));
  });
  LoginOutcome outcome = DynamicKeyAgainst(http);
  // A page without a verdict fails like a failed fetch, for its status.
  EXPECT_EQ(engine.LastCauses().http, VOKA_CAUSE_HTTP_STATUS);
  EXPECT_EQ(outcome.result, AUTHEN_E_FAIL);
  EXPECT_EQ(outcome.fields, NetworkErrorOnly());
  EXPECT_EQ(engine.Guid(), "");
}

TEST_F(HostileHttp, BrokenChunkedFramingIsANetworkFailure) {
  HttpPeer http([](HttpPeer&, socket_t connection, const std::string&) {
    SendAll(connection,
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
            "zz\r\nRETVALUE=0\r\n0\r\n\r\n");
  });
  ExpectFailedFetch(DynamicKeyAgainst(http), kReceiveTimeOutSeconds);
}

TEST_F(HostileHttp, LoginsAfterTheFallbackStayOnHttp) {
  HttpPeer http([](HttpPeer&, socket_t connection, const std::string& head) {
    const bool login = head.rfind("GET /Login.Validate.Account?", 0) == 0;
    SendAll(connection, HttpResponse("200 OK", login ? "RETVALUE=0^$^AUTHENSTATE=1" : "RETVALUE=0^$^GUID=g1"));
  });
  EXPECT_EQ(DynamicKeyAgainst(http).result, 0);
  LoginOutcome login = StaticLogin(engine);
  EXPECT_EQ(login.result, 0);
  EXPECT_EQ(login.fields.at("AUTHENSTATE"), "1");
  EXPECT_EQ(refusingUdp.RequestCount(), 1);
  ASSERT_EQ(http.RequestCount(), 2);
  EXPECT_EQ(http.Targets()[1].rfind("/Login.Validate.Account?USERID=alice&", 0), 0u);
}

}  // namespace
