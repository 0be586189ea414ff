#include <gtest/gtest.h>

#include <cstdlib>

#include "voka/codec/ansi_codepage.h"

namespace {

// VOKA_CODEPAGE chooses the code page unless SetAnsiCodePage has.
class CodePageEnvironment : public ::testing::Test {
 protected:
  void SetUp() override { SetAnsiCodePage(0); }
  void TearDown() override {
    unsetenv("VOKA_CODEPAGE");
    SetAnsiCodePage(0);
  }
};

TEST_F(CodePageEnvironment, ChoosesTheCodePage) {
  unsetenv("VOKA_CODEPAGE");
  EXPECT_EQ(AnsiCodePage(), 936u);

  setenv("VOKA_CODEPAGE", "950", 1);
  EXPECT_EQ(AnsiCodePage(), 950u);
  uint16_t unit = 0;
  ASSERT_TRUE(AnsiPairToUtf16(0xA4, 0xA4, unit));
  EXPECT_EQ(unit, 0x4E2D);
  EXPECT_EQ(AnsiToUtf8Text("\xA4\xA4"), u8"\u4E2D");
}

TEST_F(CodePageEnvironment, InvalidValuesFallBackTo936) {
  for (const char* value : {"", "abc", "950x", "0", "-1", "70000"}) {
    setenv("VOKA_CODEPAGE", value, 1);
    EXPECT_EQ(AnsiCodePage(), 936u) << '"' << value << '"';
  }
}

TEST_F(CodePageEnvironment, SetterOverridesEnvironment) {
  setenv("VOKA_CODEPAGE", "950", 1);
  SetAnsiCodePage(1252);
  EXPECT_EQ(AnsiCodePage(), 1252u);
  SetAnsiCodePage(0);
  EXPECT_EQ(AnsiCodePage(), 950u);
}

TEST_F(CodePageEnvironment, UnknownCodePageConvertsOnlyAscii) {
  SetAnsiCodePage(12345);
  uint16_t unit = 0;
  EXPECT_FALSE(AnsiPairToUtf16(0xD6, 0xD0, unit));
  EXPECT_EQ(AnsiToUtf8Text("ab\xD6\xD0"), "ab\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToAnsiText(u8"ab\u4E2D"), "ab?");
}

}  // namespace
