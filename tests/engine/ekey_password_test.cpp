// AUTHENSTATE 4: the static login asks the e-key library (the software
// token stand-in) for the password of the server's challenge.
#include <string>

#include "engine/usb_ekey_init.h"
#include "tests/engine/engine_fixture.h"
#include "tests/engine/test_environment.h"
#include "usbclient/soft_token_password.h"

namespace {

constexpr char kSecretVariable[] = "VOKA_SOFT_TOKEN_SECRET";
const std::string kTokenMessage =
    "USB\xB0\xB2\xC1\xEE\xB3\xF5\xCA\xBC\xBB\xAF\xCA\xA7\xB0\xDC,"
    "\xC7\xEB\xBC\xEC\xB2\xE9\xCA\xC7\xB7\xF1\xB2\xE5\xBA\xC3";

class EkeyPassword : public EngineWithPeers {
 protected:
  void SetUp() override {
    EngineWithPeers::SetUp();
    SetTestEnvironment(kSecretVariable, "token-secret");
  }
  void TearDown() override { ClearTestEnvironment(kSecretVariable); }
};

TEST_F(EkeyPassword, TokenPasswordIsLeftUnderEkeypwd) {
  udp.AnswerWith(NulFields({"RETVALUE=0", "AUTHENSTATE=4", "CHALLENGE=c-123"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), 0);
  std::string password;
  ASSERT_EQ(engine.GetValue("ekeypwd", password), 0);
  EXPECT_EQ(password, SoftTokenPassword("token-secret", "c-123"));
  EXPECT_EQ(engine.FindValue("AUTHENSTATE"), "4");
}

TEST_F(EkeyPassword, TokenFailureEmptiesTheMap) {
  ClearTestEnvironment(kSecretVariable);
  udp.AnswerWith(NulFields({"RETVALUE=0", "AUTHENSTATE=4", "CHALLENGE=c", "OTHER=x"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), AUTHEN_E_EKEYPWD);
  ASSERT_EQ(engine.Results().size(), 2u);
  EXPECT_EQ(engine.FindValue("DESCMSG"), kTokenMessage);
  EXPECT_EQ(engine.FindValue("RETVALUE"), "-10332115");
}

TEST_F(EkeyPassword, MissingChallengeFailsWithoutTouchingTheMap) {
  udp.AnswerWith(NulFields({"RETVALUE=0", "AUTHENSTATE=4", "CHALLENGE="}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.Results().size(), 3u);
  EXPECT_EQ(engine.FindValue("EKEYPWD"), "");
}

TEST_F(EkeyPassword, OtherVerdictsAndStatesNeedNoToken) {
  udp.AnswerWith(NulFields({"RETVALUE=9", "AUTHENSTATE=4", "CHALLENGE=c"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), 9);
  EXPECT_EQ(engine.FindValue("EKEYPWD"), "");
  udp.AnswerWith(NulFields({"RETVALUE=0", "AUTHENSTATE=40", "CHALLENGE=c"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), 0);
  EXPECT_EQ(engine.FindValue("EKEYPWD"), "");
  // A state left by an earlier answer still counts.
  udp.AnswerWith(NulFields({"RETVALUE=0", "AUTHENSTATE=4", "CHALLENGE=old"}));
  engine.EKeyAuthen("u", "k", "1", "");
  udp.AnswerWith(NulFields({"RETVALUE=0"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), 0);
  EXPECT_EQ(engine.FindValue("EKEYPWD"), SoftTokenPassword("token-secret", "old"));
}

TEST_F(EkeyPassword, ChallengeTheLibraryCannotHoldIsRefused) {
  SwitchToHttp();
  const std::string longest(kMaxEkeyChallengeLength, 'c');
  http.AnswerWith("RETVALUE=0^$^AUTHENSTATE=4^$^CHALLENGE=" + longest);
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), 0);
  EXPECT_EQ(engine.FindValue("EKEYPWD"), SoftTokenPassword("token-secret", longest));

  engine.Initialize(udp.Endpoint().c_str(), http.BaseUrl().c_str());
  http.AnswerWith("RETVALUE=0^$^AUTHENSTATE=4^$^CHALLENGE=" + longest + "c");
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("EKEYPWD"), "");
  EXPECT_EQ(engine.Results().size(), 3u);
}

// Stand-ins for a vendor library's password function.
int calls = 0;
int USBCLIENT_API FillsAllTwentyBytes(char* password, char*) {
  ++calls;
  for (int i = 0; i < 20; ++i) password[i] = 'P';
  return 0;
}
int USBCLIENT_API NineteenCharacters(char* password, char*) {
  ++calls;
  for (int i = 0; i < 19; ++i) password[i] = 'Q';
  return 0;
}
int USBCLIENT_API ReportsFailure(char*, char*) {
  ++calls;
  return 3;
}

TEST(RequestEkeyPassword, AcceptsOnlyAPasswordWithItsNul) {
  std::string password = "kept";
  calls = 0;
  EXPECT_FALSE(RequestEkeyPassword("c", password, FillsAllTwentyBytes));
  EXPECT_FALSE(RequestEkeyPassword("c", password, ReportsFailure));
  EXPECT_EQ(password, "kept");
  EXPECT_TRUE(RequestEkeyPassword("c", password, NineteenCharacters));
  EXPECT_EQ(password, std::string(19, 'Q'));
  EXPECT_EQ(calls, 3);
  // Too long a challenge never reaches the library.
  EXPECT_FALSE(RequestEkeyPassword(std::string(1024, 'c'), password, NineteenCharacters));
  EXPECT_EQ(calls, 3);
}

TEST(SoftToken, PasswordIsTheDocumentedHash) {
  // FNV-1a 64 over secret, a 0 byte and challenge, computed independently.
  EXPECT_EQ(SoftTokenPassword("secret", "challenge"), "23FECD2B03E860EC");
  EXPECT_EQ(SoftTokenPassword("", ""), "AF63BD4C8601B7DF");
  EXPECT_EQ(SoftTokenPassword("ab", "c"), "FD61C083EF200867");
  EXPECT_EQ(SoftTokenPassword("a", "bc"), "AB40F6820D40B523");
}

TEST(SoftToken, LibraryAnswersOnlyWithASecret) {
  char challenge[] = "challenge";
  char password[20] = {};
  ClearTestEnvironment(kSecretVariable);
  EXPECT_NE(GetPwdAuto(password, challenge), 0);
  SetTestEnvironment(kSecretVariable, "");
  EXPECT_NE(GetPwdAuto(password, challenge), 0);
  SetTestEnvironment(kSecretVariable, "secret");
  EXPECT_EQ(GetPwdAuto(password, challenge), 0);
  EXPECT_STREQ(password, "23FECD2B03E860EC");
  ClearTestEnvironment(kSecretVariable);
}

}  // namespace
