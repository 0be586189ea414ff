// Failed UDP exchanges, refused requests, and the exchange trace.
#include <string>
#include <vector>

#include "protocol/engine_messages.h"
#include "tests/engine/engine_fixture.h"

namespace {

using Exchange = EngineWithPeers;

const std::string kNetworkMessage = kNetworkErrorMessage;

// How long the wait lasts: hostile_udp_test.
TEST_F(Exchange, NoAnswerKeepsEarlierFieldsAndNeverFallsBack) {
  engine.SetUdpTimeOut(1);
  udp.AnswerWith(NulFields({"RETVALUE=0", "KEEP=1"}));
  ASSERT_EQ(engine.EKeyAuthen("u", "k", "1", ""), 0);
  EXPECT_EQ(engine.EKeyAuthen("u", "k", "1", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("DESCMSG"), kNetworkMessage);
  EXPECT_EQ(engine.FindValue("KEEP"), "1");
  // A login never falls back.
  EXPECT_TRUE(engine.UsesUdp());
  EXPECT_TRUE(http.Targets().empty());
}

TEST_F(Exchange, RequestTooLongForADatagramIsNotSent) {
  // 1512 bytes of parameter text always fit; this one does not.
  const std::string userId(1600, 'u');
  EXPECT_EQ(engine.ECardAuthen(userId.c_str(), "c", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("DESCMSG"), kNetworkMessage);

  const std::string fitting(1512 - std::string("USERID=^$^ECARDPWD=c^$^GUID=^$^APPID=^$^AREAID=").size(), 'u');
  udp.AnswerWith(NulFields({"RETVALUE=0"}));
  EXPECT_EQ(engine.ECardAuthen(fitting.c_str(), "c", nullptr), 0);
  // Only the fitting request reached the peer.
  const auto requests = udp.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(OpenedPayload(requests[0]).size(), 1512u);
}

TEST_F(Exchange, ValueThatWouldAddSealedFieldsIsRefused) {
  const std::string separatorMessage = kSeparatorInValueMessage;
  for (const char* userId : {"a^$^RETVALUE=0", "ends^$", "^$^"}) {
    udp.AnswerWith(NulFields({"RETVALUE=0"}));
    EXPECT_EQ(engine.EKeyAuthen(userId, "k", "1", ""), AUTHEN_E_FAIL) << userId;
    EXPECT_EQ(engine.FindValue("DESCMSG"), separatorMessage) << userId;
    engine.Initialize(udp.Endpoint().c_str(), http.BaseUrl().c_str());
  }
  EXPECT_TRUE(udp.Requests().empty());

  // Parts of the separator alone are harmless and go as they are.
  EXPECT_EQ(engine.EKeyAuthen("a^$b", "$^k", "1", "^"), 0);
  EXPECT_EQ(LastParameterText(), "USERID=a^$b^$^EKEYPWD=$^k^$^EKEYTYPE=1^$^APPID=^$^AREAID=^$^GUID=^$^INDICATION=^");
}

TEST_F(Exchange, RetvalueThatIsNoNumberIsAFailure) {
  udp.AnswerWith(NulFields({"RETVALUE=OK"}));
  EXPECT_EQ(engine.EKeyAuthen("u", "k", "1", ""), AUTHEN_E_FAIL);
  udp.AnswerWith(NulFields({"RETVALUE=4294967296"}));
  EXPECT_EQ(engine.EKeyAuthen("u", "k", "1", ""), AUTHEN_E_FAIL);
}

class RecordingTrace : public ExchangeTrace {
 public:
  void OnParameterText(const std::string& text) override { events.push_back("text:" + text); }
  void OnDatagram(const UDP_HEADER& sent, const std::string& host, const std::string& port) override {
    headers.push_back(sent);
    events.push_back("datagram:" + host + ":" + port);
  }
  void OnUrl(const std::string& url) override { events.push_back("url:" + url); }
  void OnAnswer(const char* data, int length) override { events.push_back("answer:" + std::string(data, length)); }
  std::vector<std::string> events;
  std::vector<UDP_HEADER> headers;
};

TEST_F(Exchange, TraceSeesEachStepOfBothTransports) {
  RecordingTrace trace;
  engine.SetTrace(&trace);
  udp.AnswerWith(NulFields({"NOTE=udp"}));
  http.AnswerWith("RETVALUE=0");
  ASSERT_EQ(engine.GetDynamicKey("X1"), 0);
  engine.SetTrace(nullptr);

  const std::string answer = NulFields({"NOTE=udp"});
  const std::vector<std::string> expected = {
      "text:INDICATION=X1",
      "datagram:" + udp.Endpoint(),
      "answer:" + answer,
      "text:INDICATION=X1",
      "url:" + http.BaseUrl() + "/zq.ack?INDICATION=X1",
      "answer:RETVALUE=0",
  };
  EXPECT_EQ(trace.events, expected);
  ASSERT_EQ(trace.headers.size(), 1u);
  const std::string datagram = udp.Requests()[0];
  // Copied out of the packed record before comparing.
  const uint16_t command = trace.headers[0].wCommand;
  const uint32_t sequence = trace.headers[0].dwSequence;
  const uint32_t length = trace.headers[0].dwLength;
  EXPECT_EQ(command, 0x5300);
  EXPECT_EQ(sequence, DatagramSequence(datagram));
  EXPECT_EQ(length, DatagramLengthField(datagram));
}

}  // namespace
