#include "codec/bstr_convert.h"

#include <gtest/gtest.h>

#include <string>

#include "voka/codec/ansi_codepage.h"

namespace {

const std::string kNetworkErrorAnsi = "\xCD\xF8\xC2\xE7\xC1\xAC\xBD\xD3\xB3\xF6\xB4\xED";
const wchar_t kNetworkErrorWide[] = L"\u7F51\u7EDC\u8FDE\u63A5\u51FA\u9519";

struct BstrOwner {
  BSTR text = nullptr;
  ~BstrOwner() { SysFreeString(text); }
};

// The host's own ANSI code page, 936 under the test runner.
class BstrConvert : public ::testing::Test {
 protected:
  void SetUp() override { SetAnsiCodePage(0); }
};

TEST_F(BstrConvert, ChineseRoundTrip) {
  BstrOwner wide;
  ASSERT_EQ(AnsiToBstr(kNetworkErrorAnsi.c_str(), &wide.text), S_OK);
  ASSERT_NE(wide.text, nullptr);
  EXPECT_EQ(std::wstring(wide.text, SysStringLen(wide.text)), kNetworkErrorWide);

  std::string ansi = "stale";
  ASSERT_EQ(BstrToAnsi(wide.text, ansi), S_OK);
  EXPECT_EQ(ansi, kNetworkErrorAnsi);
}

TEST_F(BstrConvert, EmbeddedNulIsRefusedByBstrToAnsiAndEndsAnsiText) {
  BstrOwner wide;
  wide.text = SysAllocStringLen(L"ab\0cd", 5);
  ASSERT_EQ(SysStringLen(wide.text), 5u);
  std::string ansi;
  EXPECT_EQ(BstrToAnsi(wide.text, ansi), kTextNotInCodePage);
  EXPECT_EQ(ansi, "");
  BstrOwner counted;  // a length that counts the terminator is no NUL inside
  counted.text = SysAllocStringLen(L"ab\0", 3);
  EXPECT_EQ(BstrToAnsi(counted.text, ansi), S_OK);
  EXPECT_EQ(ansi, "ab");

  const char bytes[] = "ab\0cd";
  BstrOwner back;
  ASSERT_EQ(AnsiToBstr(bytes, &back.text), S_OK);
  EXPECT_EQ(std::wstring(back.text, SysStringLen(back.text)), L"ab");
}

TEST_F(BstrConvert, NullAndEmpty) {
  for (const char* text : {static_cast<const char*>(nullptr), ""}) {
    BstrOwner wide;
    ASSERT_EQ(AnsiToBstr(text, &wide.text), S_OK);
    ASSERT_NE(wide.text, nullptr);
    EXPECT_EQ(SysStringLen(wide.text), 0u);
  }

  std::string ansi = "stale";
  EXPECT_EQ(BstrToAnsi(nullptr, ansi), S_OK);
  EXPECT_EQ(ansi, "");
  BstrOwner empty;
  empty.text = SysAllocString(L"");
  ansi = "stale";
  EXPECT_EQ(BstrToAnsi(empty.text, ansi), S_OK);
  EXPECT_EQ(ansi, "");

  EXPECT_EQ(AnsiToBstr("x", nullptr), E_POINTER);
}

TEST_F(BstrConvert, CharactersMissingFromTheCodePageAreRefusedNotReplaced) {
  for (const wchar_t* text : {L"a\u0E01b", L"a\u00E4b", L"\U0001F600"}) {
    BstrOwner wide;
    wide.text = SysAllocString(text);
    std::string ansi = "old";
    EXPECT_EQ(BstrToAnsi(wide.text, ansi), kTextNotInCodePage);
    EXPECT_TRUE(ansi.empty());
  }
  BstrOwner held;
  held.text = SysAllocString(L"\u00FC\u00E9\u4E2D");
  std::string ansi;
  ASSERT_EQ(BstrToAnsi(held.text, ansi), S_OK);
  EXPECT_EQ(ansi, "\xA8\xB9\xA8\xA6\xD6\xD0");
}

TEST_F(BstrConvert, LongTextConvertsWhole) {
  std::string ansi;
  for (int i = 0; i < 5000; ++i) ansi += "\xD6\xD0x";
  BstrOwner wide;
  ASSERT_EQ(AnsiToBstr(ansi.c_str(), &wide.text), S_OK);
  EXPECT_EQ(SysStringLen(wide.text), 10000u);
  std::string back;
  ASSERT_EQ(BstrToAnsi(wide.text, back), S_OK);
  EXPECT_EQ(back, ansi);
}

}  // namespace
