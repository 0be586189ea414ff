#include "usbclient/ocra_response.h"

#include <cstdint>

#include "usbclient/hmac_sha1.h"

namespace {

constexpr char kSuite[] = "OCRA-1:HOTP-SHA1-6:QN08";
constexpr size_t kMaxChallengeDigits = 8;
constexpr size_t kQuestionBytes = 128;
constexpr uint32_t kResponseModulus = 1000000;   // six digits

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

bool IsNumericChallenge(const std::string& challenge) {
  if (challenge.empty() || challenge.size() > kMaxChallengeDigits) return false;
  for (char c : challenge) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The numeric question: the challenge's value in hex digits, written from the
// first byte on and filled with zero digits to 128 bytes.
std::string QuestionBytes(const std::string& challenge) {
  uint32_t value = static_cast<uint32_t>(std::stoul(challenge));
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789ABCDEF"[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  std::string question(kQuestionBytes, '\0');
  for (size_t i = 0; i < digits.size(); ++i) {
    const int nibble = HexValue(digits[i]);
    question[i / 2] = static_cast<char>(question[i / 2] | (i % 2 == 0 ? nibble << 4 : nibble));
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
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
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
