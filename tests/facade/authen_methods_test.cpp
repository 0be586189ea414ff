// The six methods of IVOKAClientAuthen through the vtable, against the
// voka-server fixture (accounts.facade): argument conversion, results in
// lRet with S_OK for every outcome, separate engines, and bad pointers.
#include <gtest/gtest.h>

#include "tests/facade/com_test_support.h"
#include "voka/client_authen.h"

namespace {

constexpr LONG kAuthenFail = -10332102;
constexpr LONG kMissingField = 1001;
constexpr LONG kBadDynamicKey = 1002;
constexpr LONG kWrongPassword = 1004;
// DESCMSG: "network connection error"; "a character the code page cannot represent".
const wchar_t kNetworkMessage[] = L"\u7f51\u7edc\u8fde\u63a5\u51fa\u9519";
const wchar_t kNotInCodePageMessage[] =
    L"\u53c2\u6570\u4e2d\u542b\u6709\u4ee3\u7801\u9875\u65e0\u6cd5\u8868\u793a\u7684\u5b57\u7b26";

class AuthenMethodsTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTestServer()) GTEST_SKIP() << "VOKA_TEST_UDP and VOKA_TEST_HTTP are not set";
    ASSERT_EQ(CreateAuthen(object), S_OK);
    ConnectWithDynamicKey(object);
  }

  static void ConnectWithDynamicKey(CComRef<IVOKAClientAuthen>& target) {
    CBstr udp(TestUdpServer().c_str()), http(TestHttpServer().c_str());
    LONG result = 1;
    ASSERT_EQ(target->Initialize(udp.get(), http.get(), &result), S_OK);
    ASSERT_EQ(result, 0);
    ASSERT_EQ(target->GetDynamicKey(nullptr, &result), S_OK);
    ASSERT_EQ(result, 0);
  }

  LONG Login(BSTR user, BSTR password, BSTR app = nullptr, BSTR area = nullptr) {
    LONG result = 12345;
    EXPECT_EQ(object->StaticAuthen(user, password, app, area, nullptr, nullptr, &result), S_OK);
    return result;
  }

  LONG Lookup(const wchar_t* key, std::wstring& value) {
    CBstr name(key), text;
    LONG result = 12345;
    EXPECT_EQ(object->GetValue(name.get(), text.out(), &result), S_OK);
    EXPECT_NE(text.get(), nullptr) << "GetValue always hands out a string";
    value = text.text();
    return result;
  }

  CComRef<IVOKAClientAuthen> object;
};

TEST_F(AuthenMethodsTest, LoginSucceedsAndFieldsAreReadInAnyCase) {
  CBstr user(L"alice"), password(L"alice-pass"), app(L"1"), area(L"2");
  EXPECT_EQ(Login(user.get(), password.get(), app.get(), area.get()), 0);
  std::wstring value;
  EXPECT_EQ(Lookup(L"retValue", value), 0);
  EXPECT_EQ(value, L"0");
  EXPECT_EQ(Lookup(L"AUTHENSTATE", value), 0);
  EXPECT_EQ(value, L"1");
}

TEST_F(AuthenMethodsTest, RefusedLoginStillReturnsSOk) {
  CBstr user(L"alice"), password(L"wrong");
  EXPECT_EQ(Login(user.get(), password.get()), kWrongPassword);
  std::wstring value;
  EXPECT_EQ(Lookup(L"RETVALUE", value), 0);
  EXPECT_EQ(value, L"1004");
}

TEST_F(AuthenMethodsTest, FailedExchangeStillReturnsSOkWithTheNetworkMessage) {
  CBstr udp(L"999.1.1.1:9"), http(L"http://999.1.1.1:9");
  LONG result = 1;
  ASSERT_EQ(object->Initialize(udp.get(), http.get(), &result), S_OK);
  CBstr user(L"alice"), password(L"alice-pass");
  EXPECT_EQ(Login(user.get(), password.get()), kAuthenFail);
  std::wstring value;
  EXPECT_EQ(Lookup(L"DESCMSG", value), 0);
  EXPECT_EQ(value, kNetworkMessage) << "converted from code page 936";
}

TEST_F(AuthenMethodsTest, NullAndEmptyStringsReachTheEngineEmpty) {
  CBstr password(L"alice-pass"), empty(L"", 0);
  EXPECT_EQ(Login(nullptr, password.get()), kMissingField) << "a NULL user id arrives as \"\"";
  EXPECT_EQ(Login(empty.get(), password.get()), kMissingField);
  CBstr user(L"alice");
  EXPECT_EQ(Login(user.get(), password.get(), nullptr, empty.get()), 0) << "NULL application and empty area";

  LONG result = 1;
  EXPECT_EQ(object->Initialize(nullptr, nullptr, &result), S_OK);
  EXPECT_EQ(result, 0);
  std::wstring value;
  EXPECT_EQ(Lookup(L"AUTHENSTATE", value), -1) << "Initialize emptied the answers";
}

// Arguments are read by their length. One holding a NUL cannot be sent
// unchanged; one too long for any request is refused before conversion.
TEST_F(AuthenMethodsTest, ArgumentsAreReadByTheirLengthAndRefusedBeforeWork) {
  const std::wstring huge = std::wstring(kLongestUrl, L'u') + L'\u0e01';  // outside the code page: never seen
  CBstr user(L"alice"), password(L"alice-pass"), nulPassword(L"alice-pass\0garbage", 18);
  CBstr tooLong(huge.c_str(), static_cast<UINT>(huge.size()));
  const struct {
    BSTR user, password;
    const wchar_t* reason;
  } refused[] = {{user.get(), nulPassword.get(), kNotInCodePageMessage},
                 {tooLong.get(), password.get(), kNetworkMessage}};
  std::wstring value;
  for (const auto& row : refused) {
    EXPECT_EQ(Login(row.user, row.password), kAuthenFail);
    EXPECT_EQ(Lookup(L"DESCMSG", value), 0);
    EXPECT_EQ(value, row.reason);
    EXPECT_EQ(Lookup(L"RETVALUE", value), -1) << "nothing was sent";
  }
  LONG result = 0;
  EXPECT_EQ(object->Initialize(tooLong.get(), tooLong.get(), &result), S_OK);
  EXPECT_EQ(result, kAuthenFail);
  EXPECT_EQ(Lookup(L"DESCMSG", value), 0);
  EXPECT_EQ(value, kNetworkMessage) << "refused before its conversion";
  CBstr injected(L"http://127.0.0.1:1/a\r\nX-Injected: yes");  // would add a header to every request
  EXPECT_EQ(object->Initialize(user.get(), injected.get(), &result), S_OK);
  EXPECT_EQ(result, kAuthenFail);
  EXPECT_EQ(Login(user.get(), password.get()), 0) << "the endpoints are as they were";

  char* pages = static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &old));
  UINT* prefix = reinterpret_cast<UINT*>(pages + 4096 - 24);
  BSTR unterminated = reinterpret_cast<BSTR>(prefix + 1);
  CopyMemory(unterminated, L"alice-pass", 20);
  *prefix = 20;
  EXPECT_EQ(Login(user.get(), unterminated), 0);
  *prefix = 2;  // bytes: the text continues, but the password is "a"
  EXPECT_EQ(Login(user.get(), unterminated), kWrongPassword);
  VirtualFree(pages, 0, MEM_RELEASE);
}

TEST_F(AuthenMethodsTest, TextOutsideCodePage936IsRefusedNotSentAsQuestionMarks) {
  // erin's password is "pa?ss". Thai, 'a' with umlaut (no best-fit 'a'
  // either) and an emoji have no place in code page 936.
  CBstr user(L"erin"), literal(L"pa?ss");
  EXPECT_EQ(Login(user.get(), literal.get()), 0);
  for (const wchar_t* text : {L"pa\u0e01ss", L"pa\u00e4ss", L"pa\U0001F600ss"}) {
    CBstr password(text);
    EXPECT_EQ(Login(user.get(), password.get()), kAuthenFail);
    std::wstring value;
    EXPECT_EQ(Lookup(L"DESCMSG", value), 0);
    EXPECT_EQ(value, kNotInCodePageMessage);
    EXPECT_EQ(Lookup(L"RETVALUE", value), -1) << "no answer: nothing was sent";
  }
  // Letters the code page holds travel unchanged: a wrong password, not a refusal.
  CBstr held(L"pa\u00fc\u00e9ss");
  EXPECT_EQ(Login(user.get(), held.get()), kWrongPassword);
}

TEST_F(AuthenMethodsTest, ChineseArgumentsAreConvertedToCodePage936) {
  CBstr user(L"\u5f20\u4e09"), password(L"\u5bc6\u7801 123");
  EXPECT_EQ(Login(user.get(), password.get()), 0);
}

TEST_F(AuthenMethodsTest, AbsentFieldGivesMinusOneAndAnEmptyString) {
  CBstr key(L"NOSUCHFIELD"), value(L"caller's old text");
  LONG result = 0;
  EXPECT_EQ(object->GetValue(key.get(), value.out(), &result), S_OK);
  EXPECT_EQ(result, -1);
  ASSERT_NE(value.get(), nullptr);
  EXPECT_EQ(SysStringLen(value.get()), 0u);

  CBstr emptyKey;
  EXPECT_EQ(object->GetValue(nullptr, emptyKey.out(), &result), S_OK);
  EXPECT_EQ(result, -1);
}

TEST_F(AuthenMethodsTest, SecondFactorsThroughTheInterface) {
  CBstr bob(L"bob"), bobPassword(L"bob-pass"), type(L"1");
  ASSERT_EQ(Login(bob.get(), bobPassword.get()), 0);
  std::wstring state, ekeyPassword;
  EXPECT_EQ(Lookup(L"AUTHENSTATE", state), 0);
  EXPECT_EQ(state, L"4");
  ASSERT_EQ(Lookup(L"EKEYPWD", ekeyPassword), 0) << "is VOKA_SOFT_TOKEN_SECRET set?";
  CBstr ekey(ekeyPassword.c_str());
  LONG result = 1;
  EXPECT_EQ(object->EKeyAuthen(bob.get(), ekey.get(), type.get(), nullptr, &result), S_OK);
  EXPECT_EQ(result, 0);

  // carol's card: rows 1..5, columns A..E.
  const wchar_t* card[5][5] = {{L"12", L"34", L"56", L"78", L"90"},
                               {L"21", L"43", L"65", L"87", L"09"},
                               {L"13", L"57", L"91", L"35", L"79"},
                               {L"24", L"68", L"02", L"46", L"80"},
                               {L"31", L"42", L"53", L"64", L"75"}};
  CBstr carol(L"carol"), carolPassword(L"carol-pass");
  ASSERT_EQ(Login(carol.get(), carolPassword.get()), 0);
  std::wstring position;
  ASSERT_EQ(Lookup(L"POSITION", position), 0);
  ASSERT_EQ(position.size(), 2u);
  CBstr cell(card[position[1] - L'1'][position[0] - L'A']);
  EXPECT_EQ(object->ECardAuthen(carol.get(), cell.get(), nullptr, &result), S_OK);
  EXPECT_EQ(result, 0);
}

TEST_F(AuthenMethodsTest, TwoObjectsHaveSeparateEngines) {
  CBstr user(L"alice"), password(L"alice-pass");
  ASSERT_EQ(Login(user.get(), password.get()), 0);

  CComRef<IVOKAClientAuthen> other;
  ASSERT_EQ(CreateAuthen(other), S_OK);
  CBstr udp(TestUdpServer().c_str()), http(TestHttpServer().c_str());
  LONG result = 1;
  ASSERT_EQ(other->Initialize(udp.get(), http.get(), &result), S_OK);
  CBstr key(L"AUTHENSTATE"), value;
  EXPECT_EQ(other->GetValue(key.get(), value.out(), &result), S_OK);
  EXPECT_EQ(result, -1) << "the other object's answers are not visible";
  EXPECT_EQ(other->StaticAuthen(user.get(), password.get(), nullptr, nullptr, nullptr, nullptr, &result), S_OK);
  EXPECT_EQ(result, kBadDynamicKey) << "the first object's dynamic key is its own";
}

TEST_F(AuthenMethodsTest, NullOutPointersGiveEPointer) {
  CBstr text(L"x"), value;
  LONG result = 0;
  EXPECT_EQ(object->Initialize(text.get(), text.get(), nullptr), E_POINTER);
  EXPECT_EQ(object->GetDynamicKey(text.get(), nullptr), E_POINTER);
  EXPECT_EQ(object->StaticAuthen(text.get(), text.get(), text.get(), text.get(), text.get(), text.get(), nullptr),
            E_POINTER);
  EXPECT_EQ(object->EKeyAuthen(text.get(), text.get(), text.get(), text.get(), nullptr), E_POINTER);
  EXPECT_EQ(object->ECardAuthen(text.get(), text.get(), text.get(), nullptr), E_POINTER);
  EXPECT_EQ(object->GetValue(text.get(), nullptr, &result), E_POINTER);
  EXPECT_EQ(object->GetValue(text.get(), value.out(), nullptr), E_POINTER);
}

}  // namespace
