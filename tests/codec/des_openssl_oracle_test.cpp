// OpenSSL's DES as an independent oracle for the table-driven DES and for the
// three-stage construction built on it.

#define OPENSSL_SUPPRESS_DEPRECATED  // the single-DES API is what we compare with
#include <gtest/gtest.h>
#include <openssl/des.h>

#include <cstring>
#include <random>

#include "voka/codec/d3_wrapper.h"

namespace {

void RandomFill(std::mt19937_64& random, unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(random());
}

uint32_t LoadBigEndian(const unsigned char* bytes) {
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

void OpensslDes(const unsigned char* key8, unsigned char* block8, int encrypt) {
  DES_cblock key;
  std::memcpy(key, key8, 8);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&key, &schedule);
  DES_cblock in, out;
  std::memcpy(in, block8, 8);
  DES_ecb_encrypt(&in, &out, &schedule, encrypt);
  std::memcpy(block8, out, 8);
}

TEST(DesOpensslOracleTest, RandomKeysAndBlocksInBothDirections) {
  std::mt19937_64 random(20240601);
  for (int trial = 0; trial < 5000; ++trial) {
    unsigned char key[8], block[8];
    RandomFill(random, key, 8);
    RandomFill(random, block, 8);
    for (int direction : {0, 1}) {
      uint32_t schedule[CD3Wrapper::kScheduleWords];
      CD3Wrapper::DesKeySchedule(key, direction, schedule);
      uint32_t halves[2] = {LoadBigEndian(block), LoadBigEndian(block + 4)};
      CD3Wrapper::DesBlock(halves, schedule);
      unsigned char expected[8];
      std::memcpy(expected, block, 8);
      OpensslDes(key, expected, direction == 0 ? DES_ENCRYPT : DES_DECRYPT);
      ASSERT_EQ(halves[0], LoadBigEndian(expected)) << "trial " << trial << " direction " << direction;
      ASSERT_EQ(halves[1], LoadBigEndian(expected + 4)) << "trial " << trial << " direction " << direction;
    }
  }
}

// The 24-byte block built from OpenSSL's DES: encrypt with key 1, decrypt with
// key 2, encrypt with key 3, each on the three 8-byte thirds, exchanging
// words 1<->2 and 3<->4 between the stages.
void ReferenceBlock(const unsigned char* key, unsigned char* block) {
  const struct {
    int keyOffset;
    int direction;
  } stages[3] = {{0, DES_ENCRYPT}, {8, DES_DECRYPT}, {16, DES_ENCRYPT}};
  for (int stage = 0; stage < 3; ++stage) {
    if (stage > 0) {
      unsigned char word[4];
      for (int pair : {4, 12}) {
        std::memcpy(word, block + pair, 4);
        std::memmove(block + pair, block + pair + 4, 4);
        std::memcpy(block + pair + 4, word, 4);
      }
    }
    for (int third = 0; third < 3; ++third) {
      OpensslDes(key + stages[stage].keyOffset, block + 8 * third, stages[stage].direction);
    }
  }
}

TEST(DesOpensslOracleTest, CryptBlockIsThreeStagesWithWordExchanges) {
  std::mt19937_64 random(77);
  for (int trial = 0; trial < 1000; ++trial) {
    unsigned char key[24], block[24];
    RandomFill(random, key, 24);
    RandomFill(random, block, 24);
    CD3Wrapper cipher;
    ASSERT_EQ(0, cipher.SetKey(key, 0));
    unsigned char ours[24];
    cipher.CryptBlock(block, ours);
    ReferenceBlock(key, block);
    ASSERT_EQ(0, std::memcmp(ours, block, 24)) << "trial " << trial;
  }
}

}  // namespace
