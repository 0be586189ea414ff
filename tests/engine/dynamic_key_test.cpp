// The dynamic key: UDP first, and the one-way fallback to HTTP.
#include <string>

#include "protocol/engine_messages.h"
#include "tests/engine/engine_fixture.h"

namespace {

using DynamicKey = EngineWithPeers;

const std::string kNetworkMessage = "\xCD\xF8\xC2\xE7\xC1\xAC\xBD\xD3\xB3\xF6\xB4\xED";

TEST_F(DynamicKey, UdpVerdictIsFinal) {
  udp.AnswerWith(NulFields({"RETVALUE=5", "GUID=u"}));
  EXPECT_EQ(engine.GetDynamicKey("i"), 5);
  EXPECT_TRUE(engine.UsesUdp());
  EXPECT_EQ(engine.Guid(), "u");
  EXPECT_TRUE(http.Targets().empty());
}

TEST_F(DynamicKey, UdpAnswerWithoutRetvalueFallsBackToHttp) {
  udp.AnswerWith(NulFields({"GUID=fromudp", "ONLYUDP=1"}));
  http.AnswerWith("RETVALUE=0^$^GUID=fromhttp");
  EXPECT_EQ(engine.GetDynamicKey("i"), 0);
  EXPECT_FALSE(engine.UsesUdp());
  EXPECT_EQ(engine.Guid(), "fromhttp");
  // The map holds the final answer only.
  EXPECT_EQ(engine.Results().size(), 2u);
  EXPECT_EQ(engine.FindValue("ONLYUDP"), "");
}

TEST_F(DynamicKey, ServerAnsweringTheFailureCodeAlsoFallsBack) {
  udp.AnswerWith(NulFields({"RETVALUE=-10332102"}));
  http.AnswerWith("RETVALUE=8");
  EXPECT_EQ(engine.GetDynamicKey("i"), 8);
  EXPECT_FALSE(engine.UsesUdp());
  EXPECT_EQ(engine.Guid(), "");
}

TEST_F(DynamicKey, IndicationRefusedBeforeSendingFailsAndKeepsUdp) {
  EXPECT_EQ(engine.GetDynamicKey("a^$^b"), AUTHEN_E_FAIL);
  EXPECT_TRUE(engine.UsesUdp());
  EXPECT_EQ(engine.FindValue("DESCMSG"), kSeparatorInValueMessage);
  EXPECT_TRUE(udp.Requests().empty() && http.Targets().empty());
}

TEST_F(DynamicKey, HttpAnswerWithoutRetvalueFails) {
  udp.AnswerWith(NulFields({"X=1"}));
  http.AnswerWith("GUID=h^$^Y=2");
  EXPECT_EQ(engine.GetDynamicKey("i"), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.Guid(), "h");
  EXPECT_EQ(engine.FindValue("Y"), "2");
  EXPECT_EQ(engine.FindValue("X"), "");
}

TEST_F(DynamicKey, BothStagesFailingLeaveOnlyTheNetworkMessage) {
  udp.AnswerWith(NulFields({"RETVALUE=0", "GUID=old"}));
  engine.GetDynamicKey("i");
  ASSERT_EQ(engine.Guid(), "old");
  engine.SetUdpTimeOut(1);
  // UDP: no answer within the time-out; HTTP: an empty body.
  EXPECT_EQ(engine.GetDynamicKey("i"), AUTHEN_E_FAIL);
  EXPECT_FALSE(engine.UsesUdp());
  EXPECT_EQ(engine.Guid(), "");
  ASSERT_EQ(engine.Results().size(), 1u);
  EXPECT_EQ(engine.FindValue("DESCMSG"), kNetworkMessage);

  // The next login carries an empty GUID, over HTTP.
  http.AnswerWith("RETVALUE=0");
  engine.EKeyAuthen("u1", "", "1", "");
  EXPECT_EQ(LastTarget(), "/Login.Validate.Dynamic?USERID=u1&EKEYPWD=&EKEYTYPE=1&APPID=&AREAID=&GUID=&INDICATION=");
}

TEST_F(DynamicKey, UdpIsTriedFirstEvenAfterTheSwitch) {
  SwitchToHttp();
  const size_t datagramsBefore = udp.Requests().size();
  udp.AnswerWith(NulFields({"RETVALUE=0", "GUID=again"}));
  EXPECT_EQ(engine.GetDynamicKey("i"), 0);
  EXPECT_EQ(udp.Requests().size(), datagramsBefore + 1);
  EXPECT_EQ(engine.Guid(), "again");
  EXPECT_FALSE(engine.UsesUdp());
}

TEST_F(DynamicKey, ClearsFieldsOfEarlierLogins) {
  udp.AnswerWith(NulFields({"RETVALUE=0", "STATICFIELD=s"}));
  engine.StaticAuthen("u", "p", "", "", "", "");
  ASSERT_EQ(engine.FindValue("STATICFIELD"), "s");
  udp.AnswerWith(NulFields({"RETVALUE=0"}));
  engine.GetDynamicKey("i");
  EXPECT_EQ(engine.FindValue("STATICFIELD"), "");
}

}  // namespace
