#include "codec/str_coding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "codec/url_escape.h"
#include "voka/codec/ansi_codepage.h"

namespace {

// "网络连接出错" in code page 936 and in UTF-8.
const std::string kNetworkErrorAnsi = "\xCD\xF8\xC2\xE7\xC1\xAC\xBD\xD3\xB3\xF6\xB4\xED";
const std::string kNetworkErrorUtf8 = u8"\u7F51\u7EDC\u8FDE\u63A5\u51FA\u9519";
const std::string kReplacementUtf8 = "\xEF\xBF\xBD";

// Every case runs on code page 936, as the target systems do.
class StrCoding : public ::testing::Test {
 protected:
  void SetUp() override { SetAnsiCodePage(936); }
  void TearDown() override { SetAnsiCodePage(0); }

  static std::string ToUtf8(const std::string& ansi) {
    std::string result = "previous content";
    g_StrCoding.AnsiToUtf8(result, ansi.data(), static_cast<int>(ansi.size()));
    return result;
  }
};

TEST_F(StrCoding, SystemCodePageIs936) {
  if (std::getenv("VOKA_CODEPAGE")) GTEST_SKIP() << "VOKA_CODEPAGE chooses another code page";
  SetAnsiCodePage(0);
  EXPECT_EQ(AnsiCodePage(), 936u);
}

TEST_F(StrCoding, AnsiToUtf8CopiesAsciiAndConvertsPairs) {
  EXPECT_EQ(ToUtf8("Login-01 ok"), "Login-01 ok");
  EXPECT_EQ(ToUtf8("\xD6\xD0"), "\xE4\xB8\xAD");  // 中
  EXPECT_EQ(ToUtf8(kNetworkErrorAnsi), kNetworkErrorUtf8);
  EXPECT_EQ(ToUtf8("id=\xD6\xD0&x"), "id=\xE4\xB8\xAD&x");
  EXPECT_EQ(ToUtf8(""), "");
}

TEST_F(StrCoding, AnsiToUtf8UsesThreeBytesBelowU0800) {
  // α is U+03B1: standard UTF-8 says CE B1, this coding E0 8E B1.
  EXPECT_EQ(ToUtf8("\xA6\xC1"), "\xE0\x8E\xB1");
}

TEST_F(StrCoding, UnconvertiblePairGivesReplacementAndConsumesBothBytes) {
  // B0 20 is no character of 936: the blank goes with the lead byte.
  EXPECT_EQ(ToUtf8("\xB0 a"), kReplacementUtf8 + "a");
  // 80 41 would be two characters, not one.
  EXPECT_EQ(ToUtf8("\x80\x41\x42"), kReplacementUtf8 + "B");
}

TEST_F(StrCoding, TrailingLeadBytePairsWithNulAndEndsTheWalk) {
  EXPECT_EQ(ToUtf8("a\xD6"), "a" + kReplacementUtf8);

  // The byte after the counted input is never read: D6 D0 would be 中.
  const char bytes[] = {'a', '\xD6', '\xD0', '\0'};
  std::string result;
  g_StrCoding.AnsiToUtf8(result, bytes, 2);
  EXPECT_EQ(result, "a" + kReplacementUtf8);
}

TEST_F(StrCoding, AnsiToUtf8OfNothingReplacesResultWithEmpty) {
  std::string result = "stale";
  g_StrCoding.AnsiToUtf8(result, "abc", 0);
  EXPECT_EQ(result, "");
  result = "stale";
  g_StrCoding.AnsiToUtf8(result, "abc", -5);
  EXPECT_EQ(result, "");
  result = "stale";
  g_StrCoding.AnsiToUtf8(result, nullptr, 3);
  EXPECT_EQ(result, "");
}

TEST_F(StrCoding, CodePageSetterChangesThePairConversion) {
  SetAnsiCodePage(950);
  EXPECT_EQ(AnsiCodePage(), 950u);
  EXPECT_EQ(ToUtf8("\xA4\xA4"), "\xE4\xB8\xAD");  // 中 in Big5

  // A single-byte code page turns every pair into two characters.
  SetAnsiCodePage(1252);
  EXPECT_EQ(ToUtf8("\xE4\x61z"), kReplacementUtf8 + "z");

  SetAnsiCodePage(936);
  uint16_t unit = 0;
  ASSERT_TRUE(AnsiPairToUtf16(0xD6, 0xD0, unit));
  EXPECT_EQ(unit, 0x4E2D);
  EXPECT_FALSE(AnsiPairToUtf16(0xD6, 0x00, unit));
}

TEST_F(StrCoding, UserDefinedPairsGiveTheirPrivateUseCharacters) {
  // Two-byte codes of 936 that GBK leaves undefined convert to the private
  // use area, as the Windows code page does: the user-defined rows, their
  // lower halves, and the 255 scattered codes in between.
  const struct {
    unsigned char lead, trail;
    uint16_t unit;
  } pairs[] = {
      {0xAA, 0xA1, 0xE000}, {0xAF, 0xFE, 0xE233}, {0xF8, 0xA1, 0xE234}, {0xFE, 0xFE, 0xE4C5},
      {0xA1, 0x40, 0xE4C6}, {0xA1, 0x7E, 0xE504}, {0xA1, 0x80, 0xE505}, {0xA7, 0xA0, 0xE765},
      {0xA2, 0xAB, 0xE766}, {0xA6, 0xF3, 0xE796}, {0xA8, 0xBC, 0xE7C7}, {0xD7, 0xFA, 0xE810},
      {0xFE, 0x50, 0xE815}, {0xFE, 0x7E, 0xE843}, {0xFE, 0x80, 0xE844}, {0xFE, 0xA0, 0xE864},
  };
  for (const auto& pair : pairs) {
    uint16_t unit = 0;
    EXPECT_TRUE(AnsiPairToUtf16(pair.lead, pair.trail, unit)) << std::hex << +pair.lead << +pair.trail;
    EXPECT_EQ(unit, pair.unit) << std::hex << +pair.lead << +pair.trail;
  }
  // Codes outside the two-byte space stay unconvertible.
  uint16_t unit = 0;
  EXPECT_FALSE(AnsiPairToUtf16(0xA1, 0x7F, unit));
  EXPECT_FALSE(AnsiPairToUtf16(0xA1, 0xFF, unit));
  EXPECT_FALSE(AnsiPairToUtf16(0xFF, 0xA1, unit));

  EXPECT_EQ(ToUtf8("\xAA\xA1x"), "\xEE\x80\x80x");
  EXPECT_EQ(g_StrCoding.UrlEncode("\xFE\xFE"), "%EE%93%85");
}

TEST_F(StrCoding, UrlEncodeOfAsciiEqualsUrlEscape) {
  std::string ascii;
  for (int b = 1; b < 0x80; ++b) ascii.push_back(static_cast<char>(b));
  size_t length = 0;
  std::unique_ptr<char, decltype(&std::free)> escaped(
      UrlEscape(reinterpret_cast<const unsigned char*>(ascii.data()), ascii.size(), &length), &std::free);
  ASSERT_NE(escaped, nullptr);
  EXPECT_EQ(g_StrCoding.UrlEncode(ascii.c_str()), std::string(escaped.get(), length));
}

TEST_F(StrCoding, UrlEncodeEscapesUtf8OfDoubleByteCharacters) {
  const std::string middle = g_StrCoding.UrlEncode("\xD6\xD0");
  EXPECT_EQ(middle, "%E4%B8%AD");
  EXPECT_EQ(middle.size(), 9u);
  EXPECT_EQ(middle.compare(0, 2, "%E"), 0);

  EXPECT_EQ(g_StrCoding.UrlEncode("\xA6\xC1"), "%E0%8E%B1");
  EXPECT_EQ(g_StrCoding.UrlEncode(kNetworkErrorAnsi.c_str()), "%E7%BD%91%E7%BB%9C%E8%BF%9E%E6%8E%A5%E5%87%BA%E9%94%99");
  EXPECT_EQ(g_StrCoding.UrlEncode("a \xD6\xD0~"), "a+%E4%B8%AD%7E");
}

TEST_F(StrCoding, UrlEncodeOfTrailingLeadByteAndNull) {
  EXPECT_EQ(g_StrCoding.UrlEncode("a\xD6"), "a%EF%BF%BD");
  EXPECT_EQ(g_StrCoding.UrlEncode(""), "");
  EXPECT_EQ(g_StrCoding.UrlEncode(nullptr), "");
}

TEST_F(StrCoding, WholeTextsRoundTrip) {
  EXPECT_EQ(AnsiToUtf8Text(kNetworkErrorAnsi), kNetworkErrorUtf8);
  EXPECT_EQ(Utf8ToAnsiText(kNetworkErrorUtf8), kNetworkErrorAnsi);

  const std::string chinese = u8"\u4E2D\u6587\u6D4B\u8BD5 abc \u03B1";  // 中文测试 abc α
  const std::string ansi = Utf8ToAnsiText(chinese);
  EXPECT_EQ(ansi, "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4 abc \xA6\xC1");
  EXPECT_EQ(AnsiToUtf8Text(ansi), chinese);  // standard UTF-8, two bytes for α
  EXPECT_EQ(AnsiToUtf8Text(""), "");
  EXPECT_EQ(Utf8ToAnsiText(""), "");
}

TEST_F(StrCoding, WholeTextsReplaceWhatDoesNotConvert) {
  EXPECT_EQ(AnsiToUtf8Text("\x81 x"), kReplacementUtf8 + " x");
  EXPECT_EQ(AnsiToUtf8Text("ok\xD6"), "ok" + kReplacementUtf8);

  EXPECT_EQ(Utf8ToAnsiText(u8"a\u0E01b"), "a?b");    // Thai ก
  EXPECT_EQ(Utf8ToAnsiText(u8"\U0001F600!"), "?!");  // an emoji
  EXPECT_EQ(Utf8ToAnsiText("x\xFFy"), "x?y");        // not UTF-8

  SetAnsiCodePage(1252);
  EXPECT_EQ(AnsiToUtf8Text("\xE4"), u8"\u00E4");
  EXPECT_EQ(Utf8ToAnsiText(u8"\u00E4\u4E2D"), "\xE4?");
}

TEST_F(StrCoding, ConcurrentConversionsDoNotInterfere) {
  std::vector<std::thread> threads;
  threads.reserve(4);
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      CStrCoding coding;
      for (int i = 0; i < 500; ++i) {
        std::string utf8;
        coding.AnsiToUtf8(utf8, kNetworkErrorAnsi.data(), static_cast<int>(kNetworkErrorAnsi.size()));
        if (utf8 != kNetworkErrorUtf8) ++failures[t];
        if (Utf8ToAnsiText(kNetworkErrorUtf8) != kNetworkErrorAnsi) ++failures[t];
        if (AnsiToUtf8Text(kNetworkErrorAnsi) != kNetworkErrorUtf8) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

TEST(CodePageAvailability, KnowsWhichCodePagesConvert) {
  for (unsigned codePage : {936u, 950u, 1252u, 65001u}) {
    EXPECT_TRUE(IsAnsiCodePageAvailable(codePage)) << codePage;
  }
  for (unsigned codePage : {0u, 12345u, 70000u}) {
    EXPECT_FALSE(IsAnsiCodePageAvailable(codePage)) << codePage;
  }
}

}  // namespace
