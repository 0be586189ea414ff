// The request table is the one record of commands, paths and field orders;
// every value here is what servers in the field expect.
#include "transport/request_kinds.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "NAME" always sent, "NAME!" URL-encoded over HTTP, "NAME?" only when passed.
std::string Describe(const RequestField* field) {
  std::string text;
  for (; field->name != nullptr; ++field) {
    text += (text.empty() ? "" : " ") + std::string(field->name) +
            (field->use == FieldUse::kIdentity ? "!" : field->use == FieldUse::kOptional ? "?" : "");
  }
  return text;
}

TEST(RequestKinds, EachRowHoldsItsWireValuesAndIsFoundByCommandPathAndName) {
  const struct {
    RequestKind kind;
    const char *name, *path, *udpFields, *httpFields;
    uint16_t command;
  } rows[] = {
      {RequestKind::kDynamicKey, "dynamic-key", "/zq.ack", "INDICATION?", "INDICATION?", 0x5300},
      {RequestKind::kStaticLogin, "static", "/Login.Validate.Account",
       "USERID PWD APPID AREAID GUID CLIENTIP MAC CHECKCODE? INDICATION?",
       "USERID! PWD! APPID AREAID GUID CLIENTIP MAC CHECKCODE? INDICATION?", 0xC500},
      {RequestKind::kEKeyLogin, "ekey", "/Login.Validate.Dynamic",
       "USERID EKEYPWD EKEYTYPE APPID AREAID GUID INDICATION?",
       "USERID! EKEYPWD! EKEYTYPE APPID AREAID GUID INDICATION?", 0xC600},
      {RequestKind::kECardLogin, "ecard", "/Login.Validate.ECard", "USERID ECARDPWD GUID APPID AREAID INDICATION?",
       "USERID! ECARDPWD! APPID AREAID GUID INDICATION?", 0xAD00},
  };
  for (const auto& expected : rows) {
    const RequestKindRow& row = RowOf(expected.kind);
    EXPECT_STREQ(row.name, expected.name);
    EXPECT_STREQ(row.httpPath, expected.path);
    EXPECT_EQ(Describe(row.udpFields), expected.udpFields);
    EXPECT_EQ(Describe(row.httpFields), expected.httpFields);
    EXPECT_EQ(row.udpCommand, expected.command) << expected.name;
    EXPECT_EQ(FindRequestByCommand(expected.command), &row);
    EXPECT_EQ(FindRequestByPath(expected.path), &row);
    EXPECT_EQ(FindRequestByName(expected.name), &row);
  }
  EXPECT_EQ(FindRequestByCommand(0x5301), nullptr);
  EXPECT_EQ(FindRequestByPath("/zq.ack?"), nullptr);
  EXPECT_EQ(FindRequestByPath("/login.validate.account"), nullptr);
  EXPECT_EQ(FindRequestByName("login"), nullptr);
}

}  // namespace
