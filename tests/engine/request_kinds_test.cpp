// What the peers receive for each request kind, byte for byte: over UDP the
// datagram's command word and the parameter text in field order; over HTTP
// the path and the query, with user and password URL-encoded. Optional
// fields go only when passed.
#include "voka/protocol/request_kinds.h"

#include <functional>
#include <string>
#include <vector>

#include "tests/engine/engine_fixture.h"
#include "voka/codec/machine_identity.h"
#include "voka/login_steps.h"

namespace {

std::string MachineField(void (*read)(char*)) {
  char text[128] = {};
  read(text);
  return text;
}

struct KindOnTheWire {
  std::function<int(CClientAuthen&)> call;
  uint16_t command;
  std::string parameterText;
  std::string httpTarget;
};

using RequestKinds = EngineWithPeers;

// The dynamic key comes first and gives the GUID; the static login gives the
// application and area that the later logins send.
TEST_F(RequestKinds, PeersReceiveEachKindsCommandPathAndFieldsInOrder) {
  const std::string ip = MachineField(GetClientIp), mac = MachineField(GetMacAddress);
  const std::vector<KindOnTheWire> kinds = {
      {[](CClientAuthen& e) { return e.GetDynamicKey("X1"); }, 0x5300, "INDICATION=X1", "/zq.ack?INDICATION=X1"},
      {[](CClientAuthen& e) { return e.StaticAuthen("u 1", "p w\xC4\xE3", "9", "3", nullptr, "i"); }, 0xC500,
       "USERID=u 1^$^PWD=p w\xC4\xE3^$^APPID=9^$^AREAID=3^$^GUID=G^$^CLIENTIP=" + ip + "^$^MAC=" + mac +
           "^$^INDICATION=i",
       "/Login.Validate.Account?USERID=u+1&PWD=p+w%E4%BD%A0&APPID=9&AREAID=3&GUID=G&CLIENTIP=" + ip + "&MAC=" + mac +
           "&INDICATION=i"},
      {[](CClientAuthen& e) { return e.EKeyAuthen("u 1\xC4\xE3", "k", "2", "ind"); }, 0xC600,
       "USERID=u 1\xC4\xE3^$^EKEYPWD=k^$^EKEYTYPE=2^$^APPID=9^$^AREAID=3^$^GUID=G^$^INDICATION=ind",
       "/Login.Validate.Dynamic?USERID=u+1%E4%BD%A0&EKEYPWD=k&EKEYTYPE=2&APPID=9&AREAID=3&GUID=G&INDICATION=ind"},
      {[](CClientAuthen& e) { return e.ECardAuthen("u1", "A 1", nullptr); }, 0xAD00,
       "USERID=u1^$^ECARDPWD=A 1^$^GUID=G^$^APPID=9^$^AREAID=3",
       "/Login.Validate.ECard?USERID=u1&ECARDPWD=A+1&APPID=9&AREAID=3&GUID=G"},
  };
  for (const KindOnTheWire& kind : kinds) {
    udp.AnswerWith(NulFields({"RETVALUE=0", "GUID=G"}));
    EXPECT_EQ(kind.call(engine), 0) << kind.parameterText;
    EXPECT_EQ(LastCommand(), kind.command) << kind.parameterText;
    EXPECT_EQ(LastParameterText(), kind.parameterText);
  }
  SwitchToHttp("G");
  for (const KindOnTheWire& kind : kinds) {
    if (kind.command == 0x5300) udp.AnswerWith(NulFields({"NOTE=udp"}));  // tried first, always
    http.AnswerWith("RETVALUE=0^$^GUID=G");
    EXPECT_EQ(kind.call(engine), 0) << kind.httpTarget;
    EXPECT_EQ(LastTarget(), kind.httpTarget);
  }
}

// voka-server routes by command and path, voka-auth dispatches by name.
TEST(RequestTable, EachRowIsFoundByItsCommandPathAndNameOnly) {
  for (RequestKind kind :
       {RequestKind::kDynamicKey, RequestKind::kStaticLogin, RequestKind::kEKeyLogin, RequestKind::kECardLogin}) {
    const RequestKindRow& row = RowOf(kind);
    EXPECT_EQ(FindRequestByCommand(row.udpCommand), &row) << row.name;
    EXPECT_EQ(FindRequestByPath(row.httpPath), &row) << row.name;
    EXPECT_EQ(FindRequestByName(row.name), &row) << row.name;
  }
  EXPECT_EQ(FindRequestByCommand(0x5301), nullptr);
  EXPECT_EQ(FindRequestByPath("/zq.ack?"), nullptr);
  EXPECT_EQ(FindRequestByPath("/login.validate.account"), nullptr);
  EXPECT_EQ(FindRequestByName("login"), nullptr);
}

}  // namespace

// The login's steps at their edges: only the account login's answer may ask
// for a second factor, only AUTHENSTATE "1" exactly is logged in, and a
// failed request ends the login whatever the state says.
TEST(LoginSteps, EachAnswerLeadsToItsStepAndOnlyStateOneLogsIn) {
  using K = RequestKind;
  using E = LoginEnd;
  const struct {
    K answered;
    int result;
    const char* state;
    bool over;
    E end;
    K next;
  } steps[] = {
      {K::kDynamicKey, 0, nullptr, false, E::kRequestFailed, K::kStaticLogin},
      {K::kDynamicKey, 1002, "1", true, E::kRequestFailed, K::kDynamicKey},
      {K::kStaticLogin, 0, "4", false, E::kRequestFailed, K::kEKeyLogin},
      {K::kStaticLogin, 0, "2", false, E::kRequestFailed, K::kECardLogin},
      {K::kStaticLogin, 0, "1", true, E::kLoggedIn, K::kDynamicKey},
      {K::kStaticLogin, 0, nullptr, true, E::kNoState, K::kDynamicKey},
      {K::kStaticLogin, 0, "", true, E::kOtherState, K::kDynamicKey},
      {K::kStaticLogin, 0, "3", true, E::kOtherState, K::kDynamicKey},
      {K::kStaticLogin, 0, "01", true, E::kOtherState, K::kDynamicKey},
      {K::kStaticLogin, -10332115, "4", true, E::kRequestFailed, K::kDynamicKey},
      {K::kEKeyLogin, 0, "1", true, E::kLoggedIn, K::kDynamicKey},
      {K::kEKeyLogin, 0, "4", true, E::kOtherState, K::kDynamicKey},
      {K::kEKeyLogin, 0, nullptr, true, E::kNoState, K::kDynamicKey},
      {K::kECardLogin, 0, "2", true, E::kOtherState, K::kDynamicKey},
      {K::kECardLogin, 0, "1 ", true, E::kOtherState, K::kDynamicKey},
      {K::kECardLogin, 1008, "1", true, E::kRequestFailed, K::kDynamicKey},
  };
  for (const auto& step : steps) {
    const LoginStep next = NextLoginStep(step.answered, step.result, step.state);
    SCOPED_TRACE(std::string(RowOf(step.answered).name) + " " + std::to_string(step.result) + " " +
                 (step.state != nullptr ? step.state : "(none)"));
    EXPECT_EQ(next.over, step.over);
    if (next.over) EXPECT_EQ(next.end, step.end);
    if (!next.over) EXPECT_EQ(next.next, step.next);
  }
}
