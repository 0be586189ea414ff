// AUTHENSTATE 4: the static login asks the e-key library (the software
// token stand-in) for the password of the server's challenge.
#include <cstring>
#include <string>

#include "engine/usb_ekey_init.h"
#include "protocol/engine_messages.h"
#include "tests/engine/engine_fixture.h"
#include "tests/engine/test_environment.h"
#include "voka/second_factor/ocra_response.h"

namespace {

constexpr char kSecretVariable[] = "VOKA_SOFT_TOKEN_SECRET";
constexpr char kTokenSecret[] = "746f6b656e2d736563726574";
// The 20 bytes "12345678901234567890", the key of the published test vectors.
constexpr char kVectorSecret[] = "3132333435363738393031323334353637383930";

std::string TokenResponse(const std::string& challenge) {
  std::string response;
  EXPECT_EQ(OcraResponse(kTokenSecret, challenge, response), 0) << challenge;
  return response;
}
const std::string kTokenMessage =
    "USB\xB0\xB2\xC1\xEE\xB3\xF5\xCA\xBC\xBB\xAF\xCA\xA7\xB0\xDC,"
    "\xC7\xEB\xBC\xEC\xB2\xE9\xCA\xC7\xB7\xF1\xB2\xE5\xBA\xC3";

class EkeyPassword : public EngineWithPeers {
 protected:
  void SetUp() override {
    EngineWithPeers::SetUp();
    SetTestEnvironment(kSecretVariable, kTokenSecret);
  }
  void TearDown() override { ClearTestEnvironment(kSecretVariable); }
};

TEST_F(EkeyPassword, TokenPasswordIsLeftUnderEkeypwd) {
  udp.AnswerWith(NulFields({"RETVALUE=0", "AUTHENSTATE=4", "CHALLENGE=12345678"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), 0);
  std::string password;
  ASSERT_EQ(engine.GetValue("ekeypwd", password), 0);
  EXPECT_EQ(password, TokenResponse("12345678"));
  EXPECT_EQ(engine.FindValue("AUTHENSTATE"), "4");
}

TEST_F(EkeyPassword, TokenFailureEmptiesTheMap) {
  ClearTestEnvironment(kSecretVariable);
  udp.AnswerWith(NulFields({"RETVALUE=0", "AUTHENSTATE=4", "CHALLENGE=c", "OTHER=x"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), AUTHEN_E_EKEYPWD);
  ASSERT_EQ(engine.Results().size(), 2u);
  EXPECT_EQ(engine.FindValue("DESCMSG"), kTokenMessage);
  EXPECT_EQ(engine.FindValue("RETVALUE"), "-10332115");
  EXPECT_EQ(engine.LastCause(), VOKA_CAUSE_TOKEN_FAILED);
}

TEST_F(EkeyPassword, MissingChallengeFailsWithItsOwnMessage) {
  udp.AnswerWith(NulFields({"RETVALUE=0", "AUTHENSTATE=4", "CHALLENGE=", "DESCMSG=enter the token password"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("DESCMSG"), kNoChallengeMessage);
  EXPECT_EQ(engine.Results().size(), 4u);
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
  udp.AnswerWith(NulFields({"RETVALUE=0", "AUTHENSTATE=4", "CHALLENGE=2026"}));
  engine.EKeyAuthen("u", "k", "1", "");
  udp.AnswerWith(NulFields({"RETVALUE=0"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), 0);
  EXPECT_EQ(engine.FindValue("EKEYPWD"), TokenResponse("2026"));
}

TEST_F(EkeyPassword, ChallengeTheLibraryCannotHoldIsRefused) {
  SwitchToHttp();
  // The longest challenge reaches the token, which answers only numeric ones.
  const std::string longest(kMaxEkeyChallengeLength, '1');
  http.AnswerWith("RETVALUE=0^$^AUTHENSTATE=4^$^CHALLENGE=" + longest);
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), AUTHEN_E_EKEYPWD);
  EXPECT_EQ(engine.FindValue("DESCMSG"), kTokenMessage);

  engine.Initialize(udp.Endpoint().c_str(), http.BaseUrl().c_str());
  http.AnswerWith("RETVALUE=0^$^AUTHENSTATE=4^$^CHALLENGE=" + longest + "1");
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("EKEYPWD"), "");
  EXPECT_EQ(engine.FindValue("DESCMSG"), kNoChallengeMessage);
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

TEST(SoftToken, AnswersThePublishedOcraVectors) {
  const struct {
    const char* challenge;
    const char* response;
  } vectors[] = {
      {"00000000", "237653"},
      {"11111111", "243178"},
      {"22222222", "653583"},
      {"33333333", "740991"},
      {"44444444", "608993"},
      {"55555555", "388898"},
      {"66666666", "816933"},
      {"77777777", "224598"},
      {"88888888", "750600"},
      {"99999999", "294470"},
      // Responses with leading zeros, computed once by hand with Python's hmac
      // and hashlib from the suite's definition, outside this code.
      {"12345680", "054098"},
      {"12346057", "000158"},
  };
  SetTestEnvironment(kSecretVariable, kVectorSecret);
  for (const auto& vector : vectors) {
    char challenge[9] = {};
    std::memcpy(challenge, vector.challenge, 8);
    char password[20] = {};
    EXPECT_EQ(GetPwdAuto(password, challenge), 0) << vector.challenge;
    EXPECT_STREQ(password, vector.response) << vector.challenge;
  }
  ClearTestEnvironment(kSecretVariable);
}

TEST(SoftToken, AnswersOnlyNumericChallengesWithAHexSecret) {
  char password[20] = {};
  std::string response = "kept";
  EXPECT_EQ(OcraResponse(kVectorSecret, "0", response), 0);  // the value counts, not the digits
  EXPECT_EQ(response, "237653");
  for (const char* challenge : {"", "123456789", "1234567a", "-1", " 1"}) {
    EXPECT_NE(OcraResponse(kVectorSecret, challenge, response), 0) << challenge;
  }
  for (const char* secret : {"", "313", "31g2", "token-secret"}) {
    EXPECT_NE(OcraResponse(secret, "1", response), 0) << secret;
  }
  EXPECT_EQ(response, "237653");

  char challenge[] = "12345678";
  ClearTestEnvironment(kSecretVariable);
  EXPECT_NE(GetPwdAuto(password, challenge), 0);
  SetTestEnvironment(kSecretVariable, "");
  EXPECT_NE(GetPwdAuto(password, challenge), 0);
  SetTestEnvironment(kSecretVariable, "not hex");
  EXPECT_NE(GetPwdAuto(password, challenge), 0);
  SetTestEnvironment(kSecretVariable, kVectorSecret);
  char tooLong[] = "123456789";
  EXPECT_NE(GetPwdAuto(password, tooLong), 0);
  ClearTestEnvironment(kSecretVariable);
}

}  // namespace
