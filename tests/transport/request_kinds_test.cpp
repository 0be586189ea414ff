// The request table is the wire's one record of commands, paths and field
// orders: every value here is what servers in the field expect.
#include <gtest/gtest.h>

#include <string>

#include "transport/request_kinds.h"

namespace {

// "NAME" always sent, "NAME!" URL-encoded over HTTP, "NAME?" only when passed.
std::string Describe(const RequestField* fields) {
  std::string text;
  for (const RequestField* field = fields; field->name != nullptr; ++field) {
    const char* mark = field->use == FieldUse::kIdentity ? "!" : field->use == FieldUse::kOptional ? "?" : "";
    text += (text.empty() ? "" : " ") + std::string(field->name) + mark;
  }
  return text;
}

TEST(RequestKindsTest, EachRowHoldsItsWireValuesAndIsFoundByCommandPathAndName) {
  struct Expected {
    RequestKind kind;
    const char* name;
    uint16_t command;
    const char* path;
    const char* udpFields;
    const char* httpFields;
  } const rows[] = {
      {RequestKind::kDynamicKey, "dynamic-key", 0x5300, "/zq.ack", "INDICATION?", "INDICATION?"},
      {RequestKind::kStaticLogin, "static", 0xC500, "/Login.Validate.Account",
       "USERID PWD APPID AREAID GUID CLIENTIP MAC CHECKCODE? INDICATION?",
       "USERID! PWD! APPID AREAID GUID CLIENTIP MAC CHECKCODE? INDICATION?"},
      {RequestKind::kEKeyLogin, "ekey", 0xC600, "/Login.Validate.Dynamic",
       "USERID EKEYPWD EKEYTYPE APPID AREAID GUID INDICATION?",
       "USERID! EKEYPWD! EKEYTYPE APPID AREAID GUID INDICATION?"},
      {RequestKind::kECardLogin, "ecard", 0xAD00, "/Login.Validate.ECard",
       "USERID ECARDPWD GUID APPID AREAID INDICATION?", "USERID! ECARDPWD! APPID AREAID GUID INDICATION?"},
  };
  for (const Expected& expected : rows) {
    const RequestKindRow& row = RowOf(expected.kind);
    EXPECT_STREQ(row.name, expected.name);
    EXPECT_EQ(row.udpCommand, expected.command) << expected.name;
    EXPECT_STREQ(row.httpPath, expected.path);
    EXPECT_EQ(Describe(row.udpFields), expected.udpFields);
    EXPECT_EQ(Describe(row.httpFields), expected.httpFields);
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
