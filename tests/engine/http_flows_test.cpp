// The flows over HTTP: bodies merged into the result map, what the switch
// keeps, and how values are escaped into the query.
#include <string>

#include "tests/engine/engine_fixture.h"

namespace {

using HttpFlows = EngineWithPeers;

TEST_F(HttpFlows, LoginAnswersMergeIntoTheMap) {
  SwitchToHttp("G");
  http.AnswerWith("RETVALUE=0^$^A=1^$^B=1");
  EXPECT_EQ(engine.EKeyAuthen("u", "k", "1", ""), 0);
  // No RETVALUE in this answer: it fails whatever came before.
  http.AnswerWith("B=2^$^C=2");
  EXPECT_EQ(engine.ECardAuthen("u", "c", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("RETVALUE"), "");
  EXPECT_EQ(engine.FindValue("A"), "1");
  EXPECT_EQ(engine.FindValue("B"), "2");
  EXPECT_EQ(engine.FindValue("C"), "2");
  http.AnswerWith("RETVALUE=6");
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), 6);
  EXPECT_EQ(engine.FindValue("A"), "1");
  EXPECT_EQ(engine.FindValue("GUID"), "G");
}

TEST_F(HttpFlows, SecondInitializeKeepsTheSwitchAndTheKeptValues) {
  SwitchToHttp("G");
  http.AnswerWith("RETVALUE=0");
  engine.StaticAuthen("u1", "pw", "9", "3", "", "");
  engine.Initialize(udp.Endpoint().c_str(), http.BaseUrl().c_str());
  EXPECT_TRUE(engine.Results().empty());
  EXPECT_FALSE(engine.UsesUdp());
  EXPECT_EQ(engine.Guid(), "G");
  EXPECT_EQ(engine.AppId(), "9");
  EXPECT_EQ(engine.AreaId(), "3");
  EXPECT_EQ(engine.UdpTimeOut(), 2);
  http.AnswerWith("RETVALUE=0");
  EXPECT_EQ(engine.ECardAuthen("u1", "A1", nullptr), 0);
  EXPECT_EQ(LastTarget(), "/Login.Validate.ECard?USERID=u1&ECARDPWD=A1&APPID=9&AREAID=3&GUID=G");
  EXPECT_EQ(udp.Requests().size(), 1u);
}

TEST_F(HttpFlows, DynamicKeyPathCarriesTheIndicationOnlyWhenGiven) {
  SwitchToHttp();
  EXPECT_EQ(LastTarget(), "/zq.ack?INDICATION=");
  udp.AnswerWith(NulFields({"NOTE=udp"}));
  http.AnswerWith("RETVALUE=0");
  engine.GetDynamicKey(nullptr);
  EXPECT_EQ(LastTarget(), "/zq.ack");
  udp.AnswerWith(NulFields({"NOTE=udp"}));
  http.AnswerWith("RETVALUE=0");
  engine.GetDynamicKey("X1");
  EXPECT_EQ(LastTarget(), "/zq.ack?INDICATION=X1");
}

TEST_F(HttpFlows, ValuesThatWouldChangeTheQueryAreEscaped) {
  SwitchToHttp();
  http.AnswerWith("RETVALUE=0");
  EXPECT_EQ(engine.StaticAuthen("u", "p", "a&b", "1=2", "c d", "#%+\x01\xC4\xE3-._~!"), 0);
  EXPECT_NE(LastTarget().find("&APPID=a%26b&AREAID=1%3D2&"), std::string::npos) << LastTarget();
  EXPECT_NE(LastTarget().find("&CHECKCODE=c%20d&INDICATION=%23%25%2B%01%C4%E3-._~!"), std::string::npos)
      << LastTarget();
  // Stored as given.
  EXPECT_EQ(engine.AppId(), "a&b");
}

TEST_F(HttpFlows, LongBodiesAreParsedWhole) {
  SwitchToHttp();
  const std::string big(70000, 'x');
  http.AnswerWith("RETVALUE=0^$^BIG=" + big + "^$^TAIL=end");
  EXPECT_EQ(engine.EKeyAuthen("u", "k", "1", ""), 0);
  std::string value;
  ASSERT_EQ(engine.GetValue("big", value), 0);
  EXPECT_EQ(value, big);
  EXPECT_EQ(engine.FindValue("TAIL"), "end");
}

TEST_F(HttpFlows, FailedFetchReportsTheNetworkMessage) {
  SwitchToHttp();
  http.AnswerWith("RETVALUE=0^$^KEEP=1");
  EXPECT_EQ(engine.EKeyAuthen("u", "k", "1", ""), 0);
  // An empty body is a failed fetch; earlier fields stay.
  EXPECT_EQ(engine.ECardAuthen("u", "c", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("DESCMSG"), "\xCD\xF8\xC2\xE7\xC1\xAC\xBD\xD3\xB3\xF6\xB4\xED");
  EXPECT_EQ(engine.FindValue("KEEP"), "1");

  // Nobody listening at all.
  engine.Initialize(udp.Endpoint().c_str(), "http://127.0.0.1:1");
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("DESCMSG"), "\xCD\xF8\xC2\xE7\xC1\xAC\xBD\xD3\xB3\xF6\xB4\xED");
}

}  // namespace
