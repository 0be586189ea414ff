// Answer parsing and the result map: what a host reads back with GetValue.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "voka/client_authen.h"

namespace {

// The bytes of a literal, embedded NULs included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

void Parse(CClientAuthen& engine, const std::string& answer) { engine.ParseAnswer(answer.data(), answer.size()); }

TEST(AnswerToText, TurnsInnerNulsIntoSeparatorsAndDropsTheTerminator) {
  EXPECT_EQ(CClientAuthen::AnswerToText("RETVALUE=0\0GUID=ab\0", 19), "RETVALUE=0^$^GUID=ab");
  // An HTTP body is passed with its NUL: nothing is lost.
  EXPECT_EQ(CClientAuthen::AnswerToText("A=1^$^B=2", 10), "A=1^$^B=2");
  // Without a terminator the last byte is taken for one.
  EXPECT_EQ(CClientAuthen::AnswerToText("A=12", 4), "A=1");
  // A NUL before the last byte keeps it.
  EXPECT_EQ(CClientAuthen::AnswerToText("A\0B", 3), "A^$^B");
  EXPECT_EQ(CClientAuthen::AnswerToText("\0A=1\0", 5), "");
  EXPECT_EQ(CClientAuthen::AnswerToText(nullptr, 5), "");
  EXPECT_EQ(CClientAuthen::AnswerToText("A", 0), "");
}

TEST(AnswerToText, KeepsAnswersOfAnyLengthWhole) {
  const std::string value(10000, 'v');
  const std::string answer = "K=" + value + std::string(1, '\0') + "L=1" + std::string(1, '\0');
  EXPECT_EQ(CClientAuthen::AnswerToText(answer.data(), answer.size()), "K=" + value + "^$^L=1");
}

TEST(SplitString, KeepsEmptyPieces) {
  std::vector<std::string> pieces;
  CClientAuthen::SplitString("", "^$^", pieces);
  EXPECT_EQ(pieces, std::vector<std::string>({""}));
  pieces.clear();
  CClientAuthen::SplitString("a^$^^$^b^$^", "^$^", pieces);
  EXPECT_EQ(pieces, std::vector<std::string>({"a", "", "b", ""}));
}

TEST(ParseAnswer, MergesFieldsWithUpperCaseNames) {
  CClientAuthen engine;
  Parse(engine, Bytes("RETVALUE=0\0GUID=ab\0"));
  EXPECT_EQ(engine.FindValue("RETVALUE"), "0");
  EXPECT_EQ(engine.FindValue("GUID"), "ab");
  EXPECT_EQ(engine.GetRetValue(), 0);

  Parse(engine, Bytes("retvalue=  -7xyz\0noequals\0K=a=b\0E=\0Mixed_9=\xC4\xE3\0"));
  EXPECT_EQ(engine.FindValue("RETVALUE"), "  -7xyz");
  EXPECT_EQ(engine.GetRetValue(), -7);
  EXPECT_EQ(engine.FindValue("K"), "a=b");
  EXPECT_EQ(engine.FindValue("E"), "");
  EXPECT_EQ(engine.Results().count("E"), 1u);
  EXPECT_EQ(engine.FindValue("MIXED_9"), "\xC4\xE3");
  EXPECT_EQ(engine.Results().count("NOEQUALS"), 0u);
  // Earlier fields stay.
  EXPECT_EQ(engine.FindValue("GUID"), "ab");
}

TEST(ParseAnswer, LaterValueWinsAndSeparatorsMix) {
  CClientAuthen engine;
  const std::string body = "K=1^$^K=2";
  engine.ParseAnswer(body.c_str(), body.size() + 1);
  EXPECT_EQ(engine.FindValue("K"), "2");
  Parse(engine, Bytes("A=1^$^B=2\0C=3\0"));
  EXPECT_EQ(engine.FindValue("A"), "1");
  EXPECT_EQ(engine.FindValue("B"), "2");
  EXPECT_EQ(engine.FindValue("C"), "3");
}

TEST(ParseAnswer, AnswerStartingWithNulStoresNothing) {
  CClientAuthen engine;
  Parse(engine, Bytes("\0RETVALUE=3\0"));
  EXPECT_TRUE(engine.Results().empty());
  EXPECT_EQ(engine.GetRetValue(), AUTHEN_E_FAIL);
  Parse(engine, Bytes("RETVALUE=3\0"));
  Parse(engine, Bytes("\0"));
  EXPECT_EQ(engine.GetRetValue(), 3);
}

TEST(GetRetValue, ReadsADecimalNumberOrFails) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"0", 0},
      {"5", 5},
      {"+12", 12},
      {"\t\n -10332102", AUTHEN_E_FAIL},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"0042tail", 42},
      // No number, or one that does not fit 32 bits: a failure, never 0.
      {"", AUTHEN_E_FAIL},
      {"abc", AUTHEN_E_FAIL},
      {"-", AUTHEN_E_FAIL},
      {"- 5", AUTHEN_E_FAIL},
      {"2147483648", AUTHEN_E_FAIL},
      {"-2147483649", AUTHEN_E_FAIL},
      {"99999999999999999999999", AUTHEN_E_FAIL},
  };
  for (const auto& c : cases) {
    CClientAuthen engine;
    const std::string body = std::string("RETVALUE=") + c.text;
    engine.ParseAnswer(body.c_str(), body.size() + 1);
    EXPECT_EQ(engine.GetRetValue(), c.expected) << "RETVALUE=" << c.text;
  }
}

TEST(GetValue, FindsNamesWhateverTheirCase) {
  CClientAuthen engine;
  Parse(engine, Bytes("retvalue=0\0DescMsg=ok\0=empty name\0"));
  char value[512] = "untouched";
  EXPECT_EQ(engine.GetValue("RetValue", value, sizeof(value)), 0);
  EXPECT_STREQ(value, "0");
  EXPECT_EQ(engine.GetValue("descmsg", value, sizeof(value)), 0);
  EXPECT_STREQ(value, "ok");
  EXPECT_EQ(engine.GetValue("", value, sizeof(value)), 0);
  EXPECT_STREQ(value, "empty name");

  std::strcpy(value, "untouched");
  EXPECT_EQ(engine.GetValue("GUID", value, sizeof(value)), -1);
  EXPECT_STREQ(value, "untouched");
  std::string whole = "untouched";
  EXPECT_EQ(engine.GetValue("GUID", whole), -1);
  EXPECT_EQ(whole, "untouched");
  // FindValue does no case folding.
  EXPECT_EQ(engine.FindValue("descmsg"), "");
}

TEST(GetValue, NeverOverrunsTheCallersBuffer) {
  CClientAuthen engine;
  const std::string longValue(5000, 'x');
  const std::string longKey(700, 'k');
  const std::string answer = "V3=abc\nV=" + longValue + "\n" + longKey + "=deep";
  std::string withNuls = answer;
  for (char& byte : withNuls) {
    if (byte == '\n') byte = '\0';
  }
  engine.ParseAnswer(withNuls.c_str(), withNuls.size() + 1);

  char small[4 + 1];
  std::memset(small, '#', sizeof(small));
  EXPECT_EQ(engine.GetValue("v3", small, 4), 0);
  EXPECT_STREQ(small, "abc");
  std::memset(small, '#', sizeof(small));
  EXPECT_EQ(engine.GetValue("v3", small, 3), -2);
  EXPECT_EQ(small[0], '#');

  char facadeBuffer[512 + 8];
  std::memset(facadeBuffer, '#', sizeof(facadeBuffer));
  EXPECT_EQ(engine.GetValue("v", facadeBuffer, 512), -2);
  EXPECT_EQ(std::string(facadeBuffer, sizeof(facadeBuffer)), std::string(sizeof(facadeBuffer), '#'));

  std::string whole;
  EXPECT_EQ(engine.GetValue("v", whole), 0);
  EXPECT_EQ(whole, longValue);
  EXPECT_EQ(engine.GetValue(std::string(700, 'K').c_str(), whole), 0);
  EXPECT_EQ(whole, "deep");
}

}  // namespace
