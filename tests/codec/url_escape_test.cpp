#include "codec/url_escape.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct Escaped {
  std::string text;
  size_t reportedLength = 0;
};

Escaped Escape(const std::string& bytes) {
  Escaped result;
  std::unique_ptr<char, decltype(&std::free)> escaped(
      UrlEscape(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &result.reportedLength),
      &std::free);
  EXPECT_NE(escaped, nullptr);
  if (escaped) result.text = escaped.get();
  return result;
}

TEST(UrlEscape, KeepsLettersDigitsAndThreeMarks) {
  const std::string kept = "-._0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const Escaped escaped = Escape(kept);
  EXPECT_EQ(escaped.text, kept);
  EXPECT_EQ(escaped.reportedLength, kept.size());

  const Escaped abc = Escape("abc");
  EXPECT_EQ(abc.text, "abc");
  EXPECT_EQ(abc.reportedLength, 3u);
}

TEST(UrlEscape, BlankBecomesPlusAndOtherBytesUpperCaseHex) {
  EXPECT_EQ(Escape(" ").text, "+");
  EXPECT_EQ(Escape("\x7E").text, "%7E");
  EXPECT_EQ(Escape("\xE4").text, "%E4");
  EXPECT_EQ(Escape("*").text, "%2A");
  EXPECT_EQ(Escape("a b&c=d+e%f#g/h").text, "a+b%26c%3Dd%2Be%25f%23g%2Fh");
  EXPECT_EQ(Escape(std::string("\0\xFF", 2)).text, "%00%FF");
}

// Every byte comes out as itself, '+' or "%XX" naming exactly that byte.
TEST(UrlEscape, EveryByteDecodesBackToItself) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const Escaped escaped = Escape(all);
  ASSERT_EQ(escaped.text.size(), escaped.reportedLength);

  std::string decoded;
  for (size_t i = 0; i < escaped.text.size(); ++i) {
    const char c = escaped.text[i];
    if (c == '+') {
      decoded.push_back(' ');
    } else if (c == '%') {
      ASSERT_LE(i + 2, escaped.text.size() - 1);
      const std::string hex = escaped.text.substr(i + 1, 2);
      EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
      decoded.push_back(static_cast<char>(std::strtoul(hex.c_str(), nullptr, 16)));
      i += 2;
    } else {
      decoded.push_back(c);
    }
  }
  EXPECT_EQ(decoded, all);
  // 65 kept bytes and the blank take one character, the other 190 three.
  EXPECT_EQ(escaped.reportedLength, 66u + 190u * 3u);
}

TEST(UrlEscape, EmptyInputAndOptionalLength) {
  const Escaped empty = Escape("");
  EXPECT_EQ(empty.text, "");
  EXPECT_EQ(empty.reportedLength, 0u);

  char* escaped = UrlEscape(reinterpret_cast<const unsigned char*>("x y"), 3, nullptr);
  ASSERT_NE(escaped, nullptr);
  EXPECT_STREQ(escaped, "x+y");
  std::free(escaped);
}

TEST(UrlEscape, WorstCaseFillsTheWholeAllocation) {
  const std::string bytes(100000, '\xFF');
  const Escaped escaped = Escape(bytes);
  EXPECT_EQ(escaped.reportedLength, 300000u);
  EXPECT_EQ(escaped.text.size(), 300000u);
  EXPECT_EQ(escaped.text.substr(299997), "%FF");
}

TEST(UrlEscape, LengthTooLargeToAllocateGivesNull) {
  const unsigned char byte = 'a';
  size_t reported = 123;
  EXPECT_EQ(UrlEscape(&byte, SIZE_MAX / 3 + 1, &reported), nullptr);
  EXPECT_EQ(reported, 0u);
  EXPECT_EQ(UrlEscape(&byte, SIZE_MAX, nullptr), nullptr);
}

}  // namespace
