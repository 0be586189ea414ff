#include "programs/voka-server/account_service.h"

#include <gtest/gtest.h>

#include "programs/voka-server/server_messages.h"
#include "usbclient/ocra_response.h"

namespace {

class AccountServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_EQ(ParseAccountText("alice pw\nbob pw ekey=5365637265740a\ncarol pw card=11,12/21,22/31,32\n", m_book, error), 0);
  }

  static std::string TokenResponse(const std::string& secretHex, const std::string& challenge) {
    std::string response;
    EXPECT_EQ(OcraResponse(secretHex, challenge, response), 0);
    return response;
  }

  int RetValue(const AnswerFields& answer) { return std::stoi(AnswerValue(answer, "RETVALUE")); }

  std::string NewGuid(CAccountService& service) {
    return AnswerValue(service.Answer(RequestKind::kDynamicKey, {}), "GUID");
  }

  AccountBook m_book;
};

TEST_F(AccountServiceTest, StaticLoginChecksInOrder) {
  CAccountService service(m_book);
  const std::string guid = NewGuid(service);
  auto login = [&](RequestFields fields) { return RetValue(service.Answer(RequestKind::kStaticLogin, fields)); };
  EXPECT_EQ(login({{"PWD", "pw"}, {"GUID", guid}}), kRetMissingField);
  EXPECT_EQ(login({{"USERID", "alice"}, {"PWD", "pw"}}), kRetBadDynamicKey);
  EXPECT_EQ(login({{"USERID", "alice"}, {"PWD", "pw"}, {"GUID", "made-up"}}), kRetBadDynamicKey);
  EXPECT_EQ(login({{"USERID", "nobody"}, {"PWD", "pw"}, {"GUID", guid}}), kRetUnknownUser);
  EXPECT_EQ(login({{"USERID", "alice"}, {"PWD", "PW"}, {"GUID", guid}}), kRetWrongPassword);
  AnswerFields answer = service.Answer(RequestKind::kStaticLogin, {{"USERID", "alice"}, {"PWD", "pw"}, {"GUID", guid}});
  EXPECT_EQ(RetValue(answer), kRetSuccess);
  EXPECT_EQ(AnswerValue(answer, "AUTHENSTATE"), "1");
  // A dynamic key serves every later login, not just one.
  EXPECT_EQ(login({{"USERID", "alice"}, {"PWD", "pw"}, {"GUID", guid}}), kRetSuccess);
  EXPECT_NE(NewGuid(service), guid);
}

TEST_F(AccountServiceTest, TokenChallengeIsAnsweredOnce) {
  CAccountService service(m_book);
  const std::string guid = NewGuid(service);
  AnswerFields answer = service.Answer(RequestKind::kStaticLogin, {{"USERID", "bob"}, {"PWD", "pw"}, {"GUID", guid}});
  ASSERT_EQ(AnswerValue(answer, "AUTHENSTATE"), "4");
  const std::string challenge = AnswerValue(answer, "CHALLENGE");
  ASSERT_EQ(challenge.size(), 8u);
  const RequestFields right = {{"USERID", "bob"}, {"EKEYPWD", TokenResponse("5365637265740a", challenge)}, {"GUID", guid}};
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kEKeyLogin, right)), kRetSuccess);
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kEKeyLogin, right)), kRetNoPendingFactor);

  answer = service.Answer(RequestKind::kStaticLogin, {{"USERID", "bob"}, {"PWD", "pw"}, {"GUID", guid}});
  EXPECT_NE(AnswerValue(answer, "CHALLENGE"), "");
  const RequestFields wrong = {{"USERID", "bob"}, {"EKEYPWD", TokenResponse("0a", AnswerValue(answer, "CHALLENGE"))},
                               {"GUID", guid}};
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kEKeyLogin, wrong)), kRetWrongEKeyPassword);
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kEKeyLogin, {{"USERID", "alice"}, {"EKEYPWD", "x"}, {"GUID", guid}})),
            kRetFactorNotBound);
}

TEST_F(AccountServiceTest, MatrixCardPositionIsAnsweredOnce) {
  CAccountService service(m_book);
  const std::string guid = NewGuid(service);
  AnswerFields answer =
      service.Answer(RequestKind::kStaticLogin, {{"USERID", "carol"}, {"PWD", "pw"}, {"GUID", guid}});
  ASSERT_EQ(AnswerValue(answer, "AUTHENSTATE"), "2");
  const std::string position = AnswerValue(answer, "POSITION");
  std::string cell;
  ASSERT_TRUE(m_book.at("carol").card.Cell(position, cell)) << position;
  EXPECT_NE(AnswerValue(answer, "DESCMSG").find(position), std::string::npos);
  const RequestFields right = {{"USERID", "carol"}, {"ECARDPWD", cell}, {"GUID", guid}};
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kECardLogin, right)), kRetSuccess);
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kECardLogin, right)), kRetNoPendingFactor);
  service.Answer(RequestKind::kStaticLogin, {{"USERID", "carol"}, {"PWD", "pw"}, {"GUID", guid}});
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kECardLogin, {{"USERID", "carol"}, {"ECARDPWD", "99"}, {"GUID", guid}})),
            kRetWrongECardAnswer);
}

}  // namespace
