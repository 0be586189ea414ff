#include "codec/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct Encoded {
  int result;
  std::string text;
};

Encoded Encode(const std::string& bytes) {
  // One spare byte beyond the documented size catches a write past the NUL.
  std::vector<char> out(4 * ((bytes.size() + 2) / 3) + 2, '#');
  const int result = Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()), out.data());
  EXPECT_EQ(out.back(), '#');
  return {result, out.data()};
}

TEST(Base64EncodeTest, StandardAnswers) {
  const std::pair<std::string, std::string> answers[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"abc", "YWJj"},
      {std::string("\xFB\xFF\xBF", 3), "+/+/"},
  };
  for (const auto& [bytes, text] : answers) {
    const Encoded encoded = Encode(bytes);
    EXPECT_EQ(encoded.text, text);
    EXPECT_EQ(encoded.result, int(text.size()) + 1);
  }
}

TEST(Base64EncodeTest, NothingToEncodeWritesOnlyTheTerminator) {
  char out[4] = {'x', 'x', 'x', 'x'};
  const unsigned char data[1] = {'a'};
  EXPECT_EQ(1, Base64Encode(data, 0, out));
  EXPECT_EQ(out[0], '\0');
  out[0] = 'x';
  EXPECT_EQ(1, Base64Encode(data, -5, out));
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(out[1], 'x');
  out[0] = 'x';
  EXPECT_EQ(1, Base64Encode(nullptr, 3, out));
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(0, Base64Encode(data, 1, nullptr));
  // A text whose length an int cannot count is refused before data is read.
  out[0] = 'x';
  EXPECT_EQ(0, Base64Encode(data, kBase64EncodeMaxLength + 1, out));
  EXPECT_EQ(out[0], '\0');
}

TEST(Base64EncodeTest, LongInputStaysOnOneLine) {
  const std::string bytes(300, '\n');
  const Encoded encoded = Encode(bytes);
  EXPECT_EQ(encoded.text.size(), 400u);
  EXPECT_EQ(encoded.text.find_first_of("\r\n"), std::string::npos);
}

TEST(Base64DecodeTest, RoundTripsEveryLengthAndByte) {
  std::mt19937 random(5);
  for (size_t length = 0; length < 100; ++length) {
    std::string bytes(length, '\0');
    for (auto& byte : bytes) byte = char(random());
    const Encoded encoded = Encode(bytes);
    std::string decoded = "previous";
    ASSERT_TRUE(Base64Decode(encoded.text.data(), encoded.text.size(), decoded)) << encoded.text;
    ASSERT_EQ(decoded, bytes);
  }
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += char(byte);
  const Encoded encoded = Encode(all);
  std::string decoded;
  ASSERT_TRUE(Base64Decode(encoded.text.data(), encoded.text.size(), decoded));
  EXPECT_EQ(decoded, all);
}

TEST(Base64DecodeTest, EmptyTextIsNoBytes) {
  std::string decoded = "old";
  EXPECT_TRUE(Base64Decode("", 0, decoded));
  EXPECT_EQ(decoded, "");
  decoded = "old";
  EXPECT_TRUE(Base64Decode(nullptr, 0, decoded));
  EXPECT_EQ(decoded, "");
}

TEST(Base64DecodeTest, RefusesAnythingButCanonicalPaddedText) {
  const std::string refused[] = {
      "Zg",      // length not a multiple of 4
      "Zg=",     // short padding
      "Zm9vY",   // dangling character
      "Zm9 ",    // space
      "Zm9v\n",  // line break
      "Zm-v",    // URL-safe alphabet
      "Zm_v",
      std::string("Zm\0v", 4),    // embedded NUL
      std::string("Zm\x80v", 4),  // byte outside ASCII
      "Zg==Zm9v",                 // padding before the end
      "Z===",                     // three pad characters
      "====",
      "Zm=v",  // pad inside a quantum
      "Zh==",  // non-zero bits under the padding ("Zg==" is canonical)
      "Zm9=",  // same for one pad character ("Zm8=" is canonical)
  };
  for (const auto& text : refused) {
    std::string decoded = "unchanged";
    EXPECT_FALSE(Base64Decode(text.data(), text.size(), decoded)) << text;
    EXPECT_EQ(decoded, "unchanged");
  }
  std::string decoded;
  EXPECT_FALSE(Base64Decode(nullptr, 4, decoded));
}

TEST(Base64DecodeTest, DecodesOnlyTheGivenLength) {
  std::string decoded;
  ASSERT_TRUE(Base64Decode("Zm9vYmFy", 4, decoded));
  EXPECT_EQ(decoded, "foo");
}

}  // namespace
