// The engine against UDP peers that answer badly, end to end on loopback with
// a one-second answer wait. Each case checks the return code, the result map
// and that the call came back within the wait.
#include <gtest/gtest.h>

#include <string>

#include "protocol/engine_messages.h"
#include "tests/hostile/login_outcome.h"
#include "tests/peers/loopback_socket.h"
#include "tests/peers/udp_peer.h"
#include "tests/peers/wire_datagram.h"
#include "voka/client_authen.h"

namespace {

const std::string kGoodAnswer = std::string("RETVALUE=7\0USERTYPE=1\0", 22);
constexpr double kWaitSeconds = 1.0;
// Head-room for a loaded machine or Wine: no call may block longer than the
// answer wait plus this.
constexpr double kSlack = 1.5;

class HostileUdp : public ::testing::Test {
 protected:
  LoginOutcome LoginAgainst(UdpPeer& peer) {
    engine.Initialize(peer.Endpoint().c_str(), "http://127.0.0.1:1");
    engine.SetUdpTimeOut(1);
    return StaticLogin(engine);
  }

  // A broken answer: the flow fails for cause, only the network message is
  // in the map, and the call does not wait out the time-out for an answer it
  // already has.
  void ExpectBrokenAnswer(const LoginOutcome& outcome, int cause) {
    EXPECT_EQ(outcome.result, AUTHEN_E_FAIL);
    EXPECT_EQ(outcome.fields, NetworkErrorOnly());
    EXPECT_LT(outcome.seconds, kWaitSeconds + kSlack);
    EXPECT_STREQ(FailureCauseName(engine.LastCause()), FailureCauseName(cause));
    EXPECT_EQ(engine.LastCauses().http, VOKA_CAUSE_NOT_TRIED);
  }

  void ExpectGoodAnswer(const LoginOutcome& outcome) {
    EXPECT_EQ(engine.LastCause(), VOKA_CAUSE_NONE);
    EXPECT_EQ(outcome.result, 7);
    EXPECT_EQ(outcome.fields, (std::map<std::string, std::string>{{"RETVALUE", "7"}, {"USERTYPE", "1"}}));
    EXPECT_LT(outcome.seconds, kWaitSeconds + kSlack);
  }

  CClientAuthen engine;
};

UdpPeer::Script Answer(const std::string& datagram) {
  return [datagram](UdpPeer& peer, int, const sockaddr_in& client) { peer.Send(datagram, client); };
}

TEST_F(HostileUdp, PeerThatSendsNothingTimesOutAfterTheWait) {
  UdpPeer peer([](UdpPeer&, int, const sockaddr_in&) {});
  LoginOutcome outcome = LoginAgainst(peer);
  EXPECT_EQ(outcome.result, AUTHEN_E_FAIL);
  EXPECT_EQ(outcome.fields, NetworkErrorOnly());
  EXPECT_GE(outcome.seconds, kWaitSeconds * 0.9);
  EXPECT_LT(outcome.seconds, kWaitSeconds + kSlack);
  EXPECT_EQ(peer.RequestCount(), 1);  // one attempt, never repeated
  EXPECT_STREQ(FailureCauseName(engine.LastCause()), "no-answer");
}

TEST_F(HostileUdp, DatagramNeverSentIsNeverWaitedFor) {
  // With the 10-second answer wait: port 0 turns UDP off, a port past 65535
  // and a name that does not resolve send nothing either.
  for (const auto& [endpoint, cause] : {std::pair<const char*, int>{"127.0.0.1:0", VOKA_CAUSE_UDP_OFF},
                                        {"127.0.0.1:65536", VOKA_CAUSE_BAD_PORT},
                                        {"no-such-host.invalid:8025", VOKA_CAUSE_NAME_NOT_RESOLVED}}) {
    SCOPED_TRACE(endpoint);
    engine.Initialize(endpoint, "http://127.0.0.1:1");
    ExpectBrokenAnswer(StaticLogin(engine), cause);
  }
}

TEST_F(HostileUdp, ClosedPortIsToldAtOnce) {
  // The system's report that nothing listens ends the wait (10 seconds
  // here) at once; the socket stays unconnected.
#ifdef _WIN32
  GTEST_SKIP() << "Wine's WinSock does not tell an unconnected socket of a closed port, as Windows does";
#endif
  uint16_t port = 0;
  CloseSocket(BindLoopback(SOCK_DGRAM, &port));
  engine.Initialize(("127.0.0.1:" + std::to_string(port)).c_str(), "http://127.0.0.1:1");
  ExpectBrokenAnswer(StaticLogin(engine), VOKA_CAUSE_PORT_UNREACHABLE);
}

TEST_F(HostileUdp, EmptyDatagramIsABrokenAnswer) {
  UdpPeer peer(Answer(""));
  ExpectBrokenAnswer(LoginAgainst(peer), VOKA_CAUSE_ANSWER_CUT_SHORT);
}

TEST_F(HostileUdp, DatagramsShorterThanTheHeaderAreBrokenAnswers) {
  const std::string whole = AnswerDatagram(kGoodAnswer);
  for (size_t size = 1; size < 20; ++size) {
    SCOPED_TRACE(size);
    UdpPeer peer(Answer(whole.substr(0, size)));
    ExpectBrokenAnswer(LoginAgainst(peer), VOKA_CAUSE_ANSWER_CUT_SHORT);
  }
}

TEST_F(HostileUdp, FragmentAfterAGoodAnswerDoesNotReportTheOldVerdict) {
  // The first answer leaves RETVALUE=0 in the map; a fragment must not let
  // the second login pass on that stale success.
  const std::string good = AnswerDatagram(std::string("RETVALUE=0\0", 11));
  UdpPeer peer([good](UdpPeer& p, int index, const sockaddr_in& client) {
    p.Send(index == 0 ? good : good.substr(0, 7), client);
  });
  EXPECT_EQ(LoginAgainst(peer).result, 0);
  LoginOutcome second = StaticLogin(engine);
  EXPECT_EQ(second.result, AUTHEN_E_FAIL);
  EXPECT_EQ(second.fields.at("DESCMSG"), kNetworkErrorMessage);
}

TEST_F(HostileUdp, HeaderLengthThatUnderstatesThePayloadIsIgnored) {
  // The bytes received decide the payload, not dwLength.
  UdpPeer peer(Answer(AnswerDatagramWithLength(kGoodAnswer, 16)));
  ExpectGoodAnswer(LoginAgainst(peer));
}

TEST_F(HostileUdp, HeaderLengthThatOverstatesThePayloadWithinRangeIsIgnored) {
  UdpPeer peer(Answer(AnswerDatagramWithLength(kGoodAnswer, 2043)));
  ExpectGoodAnswer(LoginAgainst(peer));
}

TEST_F(HostileUdp, HeaderLengthOutOfRangeIsABrokenAnswer) {
  // Lengths near 2^32 would wrap round if 4 were added to them: they are
  // refused like every other length past the packet.
  for (uint32_t claimed : {2044u, 2045u, 65535u, 0x7FFFFFFFu, 0xFFFFFFFBu, 0xFFFFFFFCu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(claimed);
    UdpPeer peer(Answer(AnswerDatagramWithLength(kGoodAnswer, claimed)));
    ExpectBrokenAnswer(LoginAgainst(peer), VOKA_CAUSE_BAD_ANSWER_HEADER);
  }
}

std::string PaddedAnswer(size_t datagramSize) {
  std::string payload = std::string("RETVALUE=7\0USERTYPE=1\0PAD=", 26);
  payload += std::string(datagramSize - 20 - payload.size() - 1, 'p') + '\0';
  return AnswerDatagram(payload);
}

TEST_F(HostileUdp, AnswerOf1023BytesIsTheLargestAccepted) {
  UdpPeer peer(Answer(PaddedAnswer(1023)));
  LoginOutcome outcome = LoginAgainst(peer);
  EXPECT_EQ(outcome.result, 7);
  EXPECT_EQ(outcome.fields.at("USERTYPE"), "1");
  EXPECT_EQ(outcome.fields.at("PAD").size(), 1023u - 20 - 26 - 1);
}

TEST_F(HostileUdp, AnswersOf1024BytesAndMoreAreRefused) {
  for (size_t size : {1024u, 2047u, 2048u, 2049u, 65507u}) {
    SCOPED_TRACE(size);
    UdpPeer peer(Answer(PaddedAnswer(size)));
    ExpectBrokenAnswer(LoginAgainst(peer), VOKA_CAUSE_ANSWER_TOO_LONG);
  }
}

TEST_F(HostileUdp, AnswerFromAnotherPortIsAccepted) {
  UdpPeer peer(
      [](UdpPeer& p, int, const sockaddr_in& client) { p.SendFromOtherPort(AnswerDatagram(kGoodAnswer), client); });
  ExpectGoodAnswer(LoginAgainst(peer));
}

TEST_F(HostileUdp, BurstBeforeTheAnswerYieldsTheFirstDatagramOnly) {
  // 1000 datagrams, then the real answer: the exchange reads exactly one, the
  // first, and the next exchange's new socket sees none of the rest.
  UdpPeer peer([](UdpPeer& p, int index, const sockaddr_in& client) {
    if (index == 0) {
      for (int i = 0; i < 1000; ++i) {
        p.Send(AnswerDatagram("RETVALUE=1^$^BURST=" + std::to_string(i) + std::string(1, '\0')), client);
      }
    }
    p.Send(AnswerDatagram(std::string("RETVALUE=0\0", 11)), client);
  });
  LoginOutcome first = LoginAgainst(peer);
  EXPECT_EQ(first.result, 1);
  EXPECT_EQ(first.fields.at("BURST"), "0");
  EXPECT_LT(first.seconds, kWaitSeconds + kSlack);

  // The peer reads the second request only once it has sent the whole burst,
  // which under Wine on a loaded machine can outlast a one-second wait.
  engine.SetUdpTimeOut(10);
  LoginOutcome second = StaticLogin(engine);
  EXPECT_EQ(second.result, 0);
  EXPECT_EQ(second.fields.at("BURST"), "0");
  EXPECT_EQ(peer.RequestCount(), 2);
}

}  // namespace
