#include "codec/base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';
constexpr int8_t kNotBase64 = -1;

constexpr std::array<int8_t, 256> MakeDecodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& entry : table) entry = kNotBase64;
  for (int i = 0; i < 64; ++i) table[uint8_t(kAlphabet[i])] = int8_t(i);
  return table;
}

constexpr std::array<int8_t, 256> kDecode = MakeDecodeTable();

}  // namespace

int Base64Encode(const unsigned char* data, int length, char* out) {
  if (out == nullptr) return 0;
  if (length > kBase64EncodeMaxLength) {
    *out = '\0';
    return 0;
  }
  char* next = out;
  if (data != nullptr && length > 0) {
    int i = 0;
    for (; length - i >= 3; i += 3) {
      const unsigned b0 = data[i], b1 = data[i + 1], b2 = data[i + 2];
      *next++ = kAlphabet[b0 >> 2];
      *next++ = kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
      *next++ = kAlphabet[((b1 & 0x0F) << 2) | (b2 >> 6)];
      *next++ = kAlphabet[b2 & 0x3F];
    }
    if (length - i == 1) {
      const unsigned b0 = data[i];
      *next++ = kAlphabet[b0 >> 2];
      *next++ = kAlphabet[(b0 & 3) << 4];
      *next++ = kPad;
      *next++ = kPad;
    } else if (length - i == 2) {
      const unsigned b0 = data[i], b1 = data[i + 1];
      *next++ = kAlphabet[b0 >> 2];
      *next++ = kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
      *next++ = kAlphabet[(b1 & 0x0F) << 2];
      *next++ = kPad;
    }
  }
  *next = '\0';
  return int(next - out) + 1;
}

bool Base64Decode(const char* text, size_t length, std::string& bytes) {
  if (length % 4 != 0 || (text == nullptr && length != 0)) return false;
  std::string decoded;
  decoded.reserve(length / 4 * 3);
  for (size_t quantum = 0; quantum < length; quantum += 4) {
    const bool last = quantum + 4 == length;
    // Padding may only end the last quantum: "xx==" or "xxx=".
    int padding = 0;
    if (last && text[quantum + 3] == kPad) padding = text[quantum + 2] == kPad ? 2 : 1;
    uint32_t bits = 0;
    for (int i = 0; i < 4 - padding; ++i) {
      const int8_t value = kDecode[uint8_t(text[quantum + i])];
      if (value == kNotBase64) return false;
      bits = bits << 6 | uint32_t(value);
    }
    bits <<= 6 * padding;
    // Canonical text only: the bits the padding stands for must be zero.
    if ((bits & ((1u << (8 * padding)) - 1)) != 0) return false;
    decoded.push_back(char(bits >> 16));
    if (padding < 2) decoded.push_back(char(bits >> 8));
    if (padding < 1) decoded.push_back(char(bits));
  }
  bytes.swap(decoded);
  return true;
}
