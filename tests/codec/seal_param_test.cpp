// Sealing request parameters: known answers, the 2048-byte limit, opening.
#include "voka/codec/seal_param.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace {

struct SealVector {
  std::string input;
  std::string sealed;
};

std::vector<SealVector> ReadSealVectors() {
  std::ifstream file(std::string(VOKA_VECTORS_DIR) + "/seal.tsv", std::ios::binary);
  std::vector<SealVector> vectors;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string operation, input, expected;
    std::getline(fields, operation, '\t');
    std::getline(fields, input, '\t');
    std::getline(fields, expected, '\t');
    if (operation == "SealParam") vectors.push_back({input, expected});
  }
  return vectors;
}

TEST(SealParam, MatchesTheKnownAnswers) {
  const std::vector<SealVector> vectors = ReadSealVectors();
  ASSERT_GE(vectors.size(), 4u);
  CSealKey key(kSealPassPhrase);  // one kept schedule for every vector, each way
  for (const SealVector& vector : vectors) {
    std::string sealedWithKey, openedWithKey;
    ASSERT_TRUE(
        key.Seal(reinterpret_cast<const unsigned char*>(vector.input.data()), vector.input.size(), sealedWithKey));
    ASSERT_TRUE(key.Open(vector.sealed.data(), vector.sealed.size(), openedWithKey));
    EXPECT_EQ(std::make_pair(sealedWithKey, openedWithKey), std::make_pair(vector.sealed, vector.input));

    char out[kSealedBufferSize];
    std::memset(out, '#', sizeof(out));
    SealParam(reinterpret_cast<const unsigned char*>(vector.input.data()), static_cast<int>(vector.input.size()),
              kSealPassPhrase, out);
    EXPECT_EQ(std::string(out), vector.sealed) << vector.input;

    std::string opened;
    ASSERT_TRUE(OpenSealedParam(vector.sealed.data(), vector.sealed.size(), kSealPassPhrase, opened));
    EXPECT_EQ(opened, vector.input);
  }
}

TEST(SealParam, NeverWritesPastItsBuffer) {
  // 1512 bytes always fit; far longer texts are refused with an empty text.
  const std::string fits(1512, 'a');
  const std::string tooLong(1600, 'a');
  char out[kSealedBufferSize + 16];

  std::memset(out, '#', sizeof(out));
  SealParam(reinterpret_cast<const unsigned char*>(fits.data()), static_cast<int>(fits.size()), kSealPassPhrase, out);
  const size_t sealedLength = std::strlen(out);
  EXPECT_GT(sealedLength, 2000u);
  EXPECT_LT(sealedLength, kSealedBufferSize);
  std::string opened;
  ASSERT_TRUE(OpenSealedParam(out, sealedLength, kSealPassPhrase, opened));
  EXPECT_EQ(opened, fits);

  std::memset(out, '#', sizeof(out));
  SealParam(reinterpret_cast<const unsigned char*>(tooLong.data()), static_cast<int>(tooLong.size()), kSealPassPhrase,
            out);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(std::string(out + kSealedBufferSize, 16), std::string(16, '#'));

  // The unbounded form seals it all the same; the exchange refuses it later.
  std::string sealed;
  ASSERT_TRUE(
      SealParamText(reinterpret_cast<const unsigned char*>(tooLong.data()), tooLong.size(), kSealPassPhrase, sealed));
  EXPECT_GE(sealed.size(), kSealedBufferSize);
  ASSERT_TRUE(OpenSealedParam(sealed.data(), sealed.size(), kSealPassPhrase, opened));
  EXPECT_EQ(opened, tooLong);
}

TEST(OpenSealedParam, RefusesTextThatIsNotBase64) {
  std::string opened = "kept";
  EXPECT_FALSE(OpenSealedParam("not*base64", 10, kSealPassPhrase, opened));
  EXPECT_FALSE(OpenSealedParam(nullptr, 0, kSealPassPhrase, opened));
}

}  // namespace
