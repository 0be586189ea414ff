#include "voka/second_factor/ocra_response.h"

#include <cstdint>
#include <vector>

#include "second_factor/hmac_sha1.h"
#include "voka/codec/hex_digit.h"

namespace {

constexpr char kSuite[] = "OCRA-1:HOTP-SHA1-6:QN08";
constexpr size_t kMaxChallengeDigits = 8;
constexpr size_t kQuestionBytes = 128;
constexpr uint32_t kResponseModulus = 1000000;  // six digits

bool IsNumericChallenge(const std::string& challenge) {
  if (challenge.empty() || challenge.size() > kMaxChallengeDigits) return false;
  for (char c : challenge) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The numeric question: the hex digits of the challenge's value, most
// significant first, packed from the first byte on and filled with zero
// digits to 128 bytes.
std::string QuestionBytes(const std::string& challenge) {
  uint32_t value = static_cast<uint32_t>(std::stoul(challenge));
  std::vector<int> nibbles;
  do {
    nibbles.insert(nibbles.begin(), static_cast<int>(value & 0xF));
    value >>= 4;
  } while (value != 0);
  std::string question(kQuestionBytes, '\0');
  for (size_t i = 0; i < nibbles.size(); ++i) {
    question[i / 2] = static_cast<char>(question[i / 2] | (i % 2 == 0 ? nibbles[i] << 4 : nibbles[i]));
  }
  return question;
}

// HOTP's dynamic truncation of the MAC to a 31-bit number.
uint32_t Truncate(const Sha1Mac& mac) {
  const size_t offset = mac[mac.size() - 1] & 0xF;
  return (static_cast<uint32_t>(mac[offset] & 0x7F) << 24) | (static_cast<uint32_t>(mac[offset + 1]) << 16) |
         (static_cast<uint32_t>(mac[offset + 2]) << 8) | mac[offset + 3];
}

}  // namespace

bool DecodeHexSecret(const std::string& hex, std::string& key) {
  if (hex.empty() || hex.size() % 2 != 0) return false;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigitValue(hex[i]);
    const int low = HexDigitValue(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high << 4 | low);
  }
  key = bytes;
  return true;
}

int OcraResponse(const std::string& secretHex, const std::string& challenge, std::string& response) {
  std::string key;
  if (!DecodeHexSecret(secretHex, key) || !IsNumericChallenge(challenge)) return 1;
  // The suite's name and its 0 separator come before the question.
  const std::string dataInput = std::string(kSuite, sizeof kSuite) + QuestionBytes(challenge);
  Sha1Mac mac;
  if (HmacSha1(key, dataInput, mac) != 0) return 1;
  const std::string digits = std::to_string(Truncate(mac) % kResponseModulus);
  response = std::string(6 - digits.size(), '0') + digits;
  return 0;
}
