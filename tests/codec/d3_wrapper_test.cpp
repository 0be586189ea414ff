#include "voka/codec/d3_wrapper.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

uint64_t DesWithKey(const std::string& keyHex, uint64_t block, int direction) {
  uint32_t schedule[CD3Wrapper::kScheduleWords];
  CD3Wrapper::DesKeySchedule(FromHex(keyHex).data(), direction, schedule);
  uint32_t halves[2] = {uint32_t(block >> 32), uint32_t(block)};
  CD3Wrapper::DesBlock(halves, schedule);
  return uint64_t(halves[0]) << 32 | halves[1];
}

// Returns the encrypted bytes (whole blocks) and the counted length.
struct CryptResult {
  int count;
  Bytes whole;
};

CryptResult CryptWith(CD3Wrapper& cipher, const Bytes& data) {
  static const unsigned char kNothing = 0;  // an empty vector's data() may be null
  unsigned char* out = nullptr;
  const int count = cipher.Crypt(data.empty() ? &kNothing : data.data(), int(data.size()), &out);
  CryptResult result{count, {}};
  if (out != nullptr) {
    result.whole.assign(out, out + (data.size() + 23) / 24 * 24);
    delete[] out;
  }
  return result;
}

Bytes RandomBytes(std::mt19937& random, size_t count) {
  Bytes bytes(count);
  for (auto& byte : bytes) byte = static_cast<unsigned char>(random());
  return bytes;
}

const Bytes kKey = FromHex("0123456789ABCDEFFEDCBA987654321089ABCDEF01234567");
const Bytes kStartKey = FromHex("1F2E3D4C5B6A798897A6B5C4D3E2F1000F1E2D3C4B5A6978");

// Published single-DES answers (FIPS 46-3 worked example, FIPS 81 and the
// NBS validation set), with keys that are not weak: a weak key would make a
// reversed schedule invisible.
struct DesAnswer {
  const char* key;
  uint64_t plain;
  uint64_t cipher;
};
const DesAnswer kDesAnswers[] = {
    {"133457799BBCDFF1", 0x0123456789ABCDEFull, 0x85E813540F0AB405ull},
    {"0123456789ABCDEF", 0x4E6F772069732074ull, 0x3FA40E8A984D4815ull},
    {"0E329232EA6D0D73", 0x8787878787878787ull, 0x0000000000000000ull},
    {"7CA110454A1A6E57", 0x01A1D6D039776742ull, 0x690F5B0D9A26939Bull},
    {"0131D9619DC1376E", 0x5CD54CA83DEF57DAull, 0x7A389D10354BD271ull},
    {"07A1133E4A0B2686", 0x0248D43806F67172ull, 0x868EBB51CAB4599Aull},
    {"10316E028C8F3B4A", 0x0000000000000000ull, 0x82DCBAFBDEAB6602ull},
};

TEST(DesBlockTest, PublishedAnswersInBothDirections) {
  for (const auto& answer : kDesAnswers) {
    SCOPED_TRACE(answer.key);
    EXPECT_EQ(DesWithKey(answer.key, answer.plain, 0), answer.cipher);
    EXPECT_EQ(DesWithKey(answer.key, answer.cipher, 1), answer.plain);
  }
}

TEST(DesKeyScheduleTest, ParityBitsAreIgnored) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 200; ++trial) {
    Bytes key = RandomBytes(random, 8);
    Bytes flipped = key;
    for (auto& byte : flipped) byte ^= static_cast<unsigned char>(random() & 1);
    uint32_t a[CD3Wrapper::kScheduleWords], b[CD3Wrapper::kScheduleWords];
    CD3Wrapper::DesKeySchedule(key.data(), 0, a);
    CD3Wrapper::DesKeySchedule(flipped.data(), 0, b);
    ASSERT_EQ(0, std::memcmp(a, b, sizeof a));
  }
}

TEST(DesKeyScheduleTest, DecryptScheduleIsEncryptScheduleReversed) {
  uint32_t forward[CD3Wrapper::kScheduleWords], reverse[CD3Wrapper::kScheduleWords];
  const Bytes key = FromHex("133457799BBCDFF1");
  CD3Wrapper::DesKeySchedule(key.data(), 0, forward);
  CD3Wrapper::DesKeySchedule(key.data(), 1, reverse);
  for (int round = 0; round < 16; ++round) {
    EXPECT_EQ(forward[2 * round], reverse[2 * (15 - round)]);
    EXPECT_EQ(forward[2 * round + 1], reverse[2 * (15 - round) + 1]);
  }
}

TEST(CryptBlockTest, DecryptScheduleInvertsEncryptSchedule) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 500; ++trial) {
    const Bytes key = RandomBytes(random, 24);
    const Bytes plain = RandomBytes(random, 24);
    CD3Wrapper encrypt, decrypt;
    ASSERT_EQ(0, encrypt.SetKey(key.data(), 0));
    ASSERT_EQ(0, decrypt.SetKey(key.data(), 1));
    Bytes block = plain;
    encrypt.CryptBlock(block.data(), block.data());  // in place
    ASSERT_NE(block, plain);
    Bytes back(24);
    decrypt.CryptBlock(block.data(), back.data());
    ASSERT_EQ(back, plain);
  }
}

TEST(CryptBlockTest, ThirdsDependOnEachOther) {
  // The word exchanges carry a change in one DES block into all three.
  CD3Wrapper cipher;
  ASSERT_EQ(0, cipher.SetKey(kKey.data(), 0));
  Bytes a(24, 0), b(24, 0);
  b[0] = 1;
  Bytes outA(24), outB(24);
  cipher.CryptBlock(a.data(), outA.data());
  cipher.CryptBlock(b.data(), outB.data());
  for (int third = 0; third < 3; ++third) {
    EXPECT_NE(0, std::memcmp(outA.data() + 8 * third, outB.data() + 8 * third, 8)) << third;
  }
}

TEST(CryptTest, FillAndTrimByLength) {
  CD3Wrapper encrypt, decrypt;
  ASSERT_EQ(0, encrypt.SetKey(kKey.data(), 0));
  ASSERT_EQ(0, decrypt.SetKey(kKey.data(), 1));
  std::mt19937 random(3);
  for (int length : {0, 1, 23, 24, 25, 48, 49, 120}) {
    SCOPED_TRACE(length);
    const Bytes plain = RandomBytes(random, size_t(length));
    const CryptResult sealed = CryptWith(encrypt, plain);
    const int whole = (length + 23) / 24 * 24;
    ASSERT_GE(sealed.count, 0);
    ASSERT_EQ(sealed.whole.size(), size_t(whole));
    ASSERT_LE(sealed.count, whole);
    // The counted bytes end in something other than 0xFF; all after are 0.
    if (sealed.count > 0) {
      EXPECT_NE(sealed.whole[size_t(sealed.count) - 1], 0xFF);
    }
    for (int i = sealed.count; i < whole; ++i) EXPECT_EQ(sealed.whole[size_t(i)], 0);
    // The last block is the remaining bytes followed by 0xFF fill.
    if (length % 24 != 0) {
      Bytes last(24, 0xFF);
      std::copy(plain.begin() + (whole - 24), plain.end(), last.begin());
      Bytes expected(24);
      encrypt.CryptBlock(last.data(), expected.data());
      const int kept = sealed.count - (whole - 24);
      EXPECT_EQ(0, std::memcmp(expected.data(), sealed.whole.data() + (whole - 24), size_t(kept)));
    }
    const Bytes trimmed(sealed.whole.begin(), sealed.whole.begin() + sealed.count);
    const CryptResult opened = CryptWith(decrypt, trimmed);
    ASSERT_EQ(opened.count, length);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), opened.whole.begin()));
  }
}

TEST(CryptTest, LengthZeroEncryptsNothing) {
  CD3Wrapper cipher;
  ASSERT_EQ(0, cipher.SetKey(kKey.data(), 0));
  const unsigned char byte = 0;
  unsigned char* out = nullptr;
  EXPECT_EQ(0, cipher.Crypt(&byte, 0, &out));
  delete[] out;
}

TEST(CryptTest, LengthOneIsTheByteFollowedByFill) {
  CD3Wrapper cipher;
  ASSERT_EQ(0, cipher.SetKey(kKey.data(), 0));
  Bytes block(24, 0xFF);
  block[0] = 'Q';
  Bytes expected(24);
  cipher.CryptBlock(block.data(), expected.data());
  const CryptResult sealed = CryptWith(cipher, Bytes{'Q'});
  ASSERT_GT(sealed.count, 0);
  EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + sealed.count, sealed.whole.begin()));
}

TEST(CryptTest, CiphertextEndingInFfIsTrimmedAndStillOpens) {
  CD3Wrapper encrypt, decrypt;
  ASSERT_EQ(0, encrypt.SetKey(kKey.data(), 0));
  ASSERT_EQ(0, decrypt.SetKey(kKey.data(), 1));
  // Search short texts until the sealed last block ends in 0xFF.
  for (uint32_t counter = 0; counter < 100000; ++counter) {
    Bytes plain(30);
    for (size_t i = 0; i < plain.size(); ++i)
      plain[i] = static_cast<unsigned char>('a' + (counter >> (i % 4 * 5)) % 26);
    const CryptResult sealed = CryptWith(encrypt, plain);
    Bytes last(24, 0xFF);
    std::copy(plain.begin() + 24, plain.end(), last.begin());
    Bytes raw(24);
    encrypt.CryptBlock(last.data(), raw.data());
    if (raw[23] != 0xFF) continue;
    int ffCount = 0;
    while (ffCount < 24 && raw[23 - size_t(ffCount)] == 0xFF) ++ffCount;
    EXPECT_EQ(sealed.count, 48 - ffCount);
    for (int i = 48 - ffCount; i < 48; ++i) EXPECT_EQ(sealed.whole[size_t(i)], 0);
    const Bytes trimmed(sealed.whole.begin(), sealed.whole.begin() + sealed.count);
    const CryptResult opened = CryptWith(decrypt, trimmed);
    ASSERT_EQ(opened.count, 30);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), opened.whole.begin()));
    return;
  }
  ADD_FAILURE() << "no text found whose sealed form ends in 0xFF";
}

TEST(CryptTest, TextEndingInFfLosesThoseBytesWhenOpened) {
  CD3Wrapper encrypt, decrypt;
  ASSERT_EQ(0, encrypt.SetKey(kKey.data(), 0));
  ASSERT_EQ(0, decrypt.SetKey(kKey.data(), 1));
  const Bytes plain = {'a', 'b', 0xFF, 0xFF};
  const CryptResult sealed = CryptWith(encrypt, plain);
  const CryptResult opened = CryptWith(decrypt, Bytes(sealed.whole.begin(), sealed.whole.begin() + sealed.count));
  EXPECT_EQ(opened.count, 2);
  EXPECT_EQ(opened.whole[0], 'a');
  EXPECT_EQ(opened.whole[1], 'b');
}

TEST(CryptTest, RefusesWithoutKeyOrWithBadArguments) {
  const unsigned char data[4] = {1, 2, 3, 4};
  unsigned char* out = nullptr;
  CD3Wrapper fresh;
  EXPECT_EQ(-1, fresh.Crypt(data, 4, &out));
  EXPECT_EQ(nullptr, out);

  CD3Wrapper cipher;
  ASSERT_EQ(0, cipher.SetKey(kKey.data(), 0));
  unsigned char sentinel = 0;
  unsigned char* taken = &sentinel;
  EXPECT_EQ(-2, cipher.Crypt(data, 4, &taken));
  EXPECT_EQ(&sentinel, taken);
  EXPECT_EQ(-2, cipher.Crypt(nullptr, 4, &out));
  EXPECT_EQ(-2, cipher.Crypt(data, -1, &out));
  EXPECT_EQ(-2, cipher.Crypt(data, INT32_MAX, &out));  // padded size would not fit the result
  EXPECT_EQ(-2, cipher.Crypt(data, 4, nullptr));
  EXPECT_EQ(nullptr, out);
}

TEST(SetKeyTest, RefusesNullKeyAndUnknownModesWithoutChangingState) {
  CD3Wrapper fresh;
  EXPECT_EQ(-1, fresh.SetKey(nullptr, 0));
  EXPECT_EQ(-1, fresh.SetKey(kKey.data(), 2));
  EXPECT_EQ(-1, fresh.SetKey(kKey.data(), -1));
  const unsigned char data[3] = {1, 2, 3};
  unsigned char* out = nullptr;
  EXPECT_EQ(-1, fresh.Crypt(data, 3, &out));

  CD3Wrapper installed, reference;
  ASSERT_EQ(0, installed.SetKey(kKey.data(), 0));
  ASSERT_EQ(0, reference.SetKey(kKey.data(), 0));
  const Bytes otherKey(24, 0x5A);
  EXPECT_EQ(-1, installed.SetKey(otherKey.data(), 7));
  EXPECT_EQ(-1, installed.SetKey(nullptr, 1));
  const Bytes text = {'h', 'e', 'l', 'l', 'o'};
  const CryptResult got = CryptWith(installed, text);
  const CryptResult expected = CryptWith(reference, text);
  EXPECT_EQ(got.count, expected.count);
  EXPECT_EQ(got.whole, expected.whole);
}

TEST(SetKeyTest, KeysDifferingInParityBitsEncryptAlike) {
  Bytes flipped = kKey;
  for (size_t i = 0; i < flipped.size(); i += 3) flipped[i] ^= 1;
  CD3Wrapper a, b;
  ASSERT_EQ(0, a.SetKey(kKey.data(), 0));
  ASSERT_EQ(0, b.SetKey(flipped.data(), 0));
  const Bytes text(50, 'x');
  EXPECT_EQ(CryptWith(a, text).whole, CryptWith(b, text).whole);
}

TEST(MakeKeyTest, KeepsTheInstalledKeyAndMode) {
  CD3Wrapper cipher, reference;
  ASSERT_EQ(0, cipher.SetKey(kKey.data(), 0));
  ASSERT_EQ(0, reference.SetKey(kKey.data(), 0));
  char phrase[] = "qpqp";
  unsigned char derived[24];
  cipher.MakeKey(phrase, derived);
  const Bytes text(70, 'y');
  EXPECT_EQ(CryptWith(cipher, text).whole, CryptWith(reference, text).whole);

  CD3Wrapper fresh;
  char other[] = "abc";
  fresh.MakeKey(other, derived);
  unsigned char* out = nullptr;
  EXPECT_EQ(-1, fresh.Crypt(derived, 24, &out));
}

// CryptBlock under the start key's schedules, the derivation's one step.
Bytes StartKeyBlock(Bytes block) {
  CD3Wrapper cipher;
  EXPECT_EQ(0, cipher.SetKey(kStartKey.data(), 0));
  cipher.CryptBlock(block.data(), block.data());
  return block;
}

Bytes Derive(std::string phrase) {
  std::vector<char> writable(phrase.begin(), phrase.end());
  writable.push_back('\0');
  Bytes key(24);
  CD3Wrapper cipher;
  cipher.MakeKey(writable.data(), key.data());
  for (char c : writable) EXPECT_EQ(c, '\0');
  return key;
}

TEST(MakeKeyTest, EmptyPhraseEncryptsTheStartKeyOnce) { EXPECT_EQ(Derive(""), StartKeyBlock(kStartKey)); }

TEST(MakeKeyTest, ShortAndFullPhrasesAreXoredIntoTheStartKey) {
  for (const std::string phrase : {"qpqp", "abcdefghijklmnopqrstuvwx"}) {
    SCOPED_TRACE(phrase);
    Bytes mixed = kStartKey;
    for (size_t i = 0; i < phrase.size(); ++i) mixed[i] ^= static_cast<unsigned char>(phrase[i]);
    EXPECT_EQ(Derive(phrase), StartKeyBlock(mixed));
  }
}

TEST(MakeKeyTest, TwentyFifthCharacterStartsASecondPassAtByteZero) {
  const std::string phrase = "abcdefghijklmnopqrstuvwxY";
  Bytes first = kStartKey;
  for (size_t i = 0; i < 24; ++i) first[i] ^= static_cast<unsigned char>(phrase[i]);
  Bytes second = StartKeyBlock(first);
  second[0] ^= 'Y';
  EXPECT_EQ(Derive(phrase), StartKeyBlock(second));
  EXPECT_NE(Derive(phrase), Derive(phrase.substr(0, 24)));
}

TEST(MakeKeyTest, TopBitOfCharactersIsIgnored) {
  std::string high = "qpqp";
  high[1] = static_cast<char>(high[1] | 0x80);
  high[3] = static_cast<char>(high[3] | 0x80);
  EXPECT_EQ(Derive("qpqp"), Derive(high));
  std::string longHigh(30, static_cast<char>(0xE1));
  EXPECT_EQ(Derive(std::string(30, 'a')), Derive(longHigh));
}

TEST(MakeKeyTest, NullArgumentsAreHarmless) {
  CD3Wrapper cipher;
  unsigned char key[24];
  cipher.MakeKey(nullptr, key);
  EXPECT_EQ(Bytes(key, key + 24), StartKeyBlock(kStartKey));
  char phrase[] = "qpqp";
  cipher.MakeKey(phrase, nullptr);
  EXPECT_EQ(std::string(phrase), "qpqp");
}

}  // namespace
