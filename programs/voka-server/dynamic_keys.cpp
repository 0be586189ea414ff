#include "voka-server/dynamic_keys.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdio>
#include <cstdlib>

#include "voka-server/server_limits.h"

namespace {

constexpr int kTimeBits = 42, kIssuedHereBits = 16, kBoundToBits = 48;
constexpr uint64_t kVersionMask = 0xF000, kVersion4 = 0x4000;
constexpr uint64_t kVariant1 = 0x8000000000000000ull;

using Digest = std::array<uint8_t, 32>;

// Without its MACs no key can be issued or checked: the server stops.
Digest Hmac(const uint8_t* key, size_t keySize, const std::string& message) {
  Digest digest{};
  unsigned int length = 0;
  if (!HMAC(EVP_sha256(), key, static_cast<int>(keySize), reinterpret_cast<const unsigned char*>(message.data()),
            message.size(), digest.data(), &length) ||
      length != digest.size()) {
    std::fputs("voka-server: HMAC-SHA256 failed\n", stderr);
    std::abort();
  }
  return digest;
}

void AppendBigEndian(std::string& message, uint64_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) message.push_back(static_cast<char>(value >> shift));
}

// The first bits of a digest, as a number.
uint64_t Leading(const Digest& digest, int bits) {
  uint64_t value = 0;
  for (int byte = 0; byte < 8; ++byte) value = value << 8 | digest[byte];
  return value >> (64 - bits);
}

bool ParseHex(const std::string& text, size_t from, size_t digits, uint64_t& value) {
  for (size_t i = from; i < from + digits; ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                             : -1;
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return true;
}

// The two halves of a GUID's text form, as Issue writes it.
bool ParseGuid(const std::string& text, uint64_t& high, uint64_t& low) {
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
  high = low = 0;
  return ParseHex(text, 0, 8, high) && ParseHex(text, 9, 4, high) && ParseHex(text, 14, 4, high) &&
         ParseHex(text, 19, 4, low) && ParseHex(text, 24, 12, low);
}

}  // namespace

CDynamicKeys::CDynamicKeys(const KeySecret& secret) : m_secret(secret) {}

KeySecret CDynamicKeys::PeriodSecret(uint64_t issuedMs) const {
  std::string period = "period";
  AppendBigEndian(period, issuedMs / std::chrono::milliseconds(kKeySecretPeriod).count(), 8);
  return Hmac(m_secret.data(), m_secret.size(), period);
}

uint64_t CDynamicKeys::BoundTo(const KeySecret& periodSecret, uint64_t issuedMs, uint64_t serial,
                               const std::string& address) {
  std::string message = "address";
  AppendBigEndian(message, issuedMs, 8);
  AppendBigEndian(message, serial, 2);
  return Leading(Hmac(periodSecret.data(), periodSecret.size(), message + address), kBoundToBits);
}

// Over the address's MAC too, so that a key altered anywhere is not taken for
// one issued to another address.
uint64_t CDynamicKeys::IssuedHere(const KeySecret& periodSecret, uint64_t issuedMs, uint64_t serial, uint64_t boundTo) {
  std::string message = "issued";
  AppendBigEndian(message, issuedMs, 8);
  AppendBigEndian(message, serial, 2);
  AppendBigEndian(message, boundTo, 6);
  return Leading(Hmac(periodSecret.data(), periodSecret.size(), message), kIssuedHereBits);
}

std::string CDynamicKeys::Issue(const std::string& address, KeyTime now) {
  const uint64_t issuedMs = static_cast<uint64_t>(now.time_since_epoch().count()) & ((1ull << kTimeBits) - 1);
  const uint64_t serial = m_serial++;
  const KeySecret periodSecret = PeriodSecret(issuedMs);
  const uint64_t boundTo = BoundTo(periodSecret, issuedMs, serial, address);
  const uint64_t issuedHere = IssuedHere(periodSecret, issuedMs, serial, boundTo);
  // 60 bits before the version, 62 after the variant.
  const uint64_t front = issuedMs << 18 | serial << 2 | issuedHere >> 14;
  const uint64_t back = (issuedHere & 0x3FFF) << kBoundToBits | boundTo;
  const uint64_t high = (front >> 12) << 16 | kVersion4 | (front & 0xFFF), low = kVariant1 | back;
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>(high >> 16 & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
  return text;
}

KeyCheck CDynamicKeys::Check(const std::string& guid, const std::string& address, KeyTime now) const {
  uint64_t high = 0, low = 0;
  if (!ParseGuid(guid, high, low) || (high & kVersionMask) != kVersion4 || low >> 62 != kVariant1 >> 62)
    return KeyCheck::kBad;
  const uint64_t front = (high >> 16) << 12 | (high & 0xFFF), back = low & ~(3ull << 62);
  const uint64_t issuedMs = front >> 18, serial = front >> 2 & 0xFFFF;
  const uint64_t issuedHere = (front & 3) << 14 | back >> kBoundToBits;
  const uint64_t boundTo = back & ((1ull << kBoundToBits) - 1);
  const KeyTime issued{std::chrono::milliseconds(issuedMs)};
  if (issued > now + kKeyClockSkew || now - issued > kGuidLifetime) return KeyCheck::kBad;
  const KeySecret periodSecret = PeriodSecret(issuedMs);
  if (IssuedHere(periodSecret, issuedMs, serial, boundTo) != issuedHere) return KeyCheck::kBad;
  return BoundTo(periodSecret, issuedMs, serial, address) == boundTo ? KeyCheck::kValid : KeyCheck::kForeign;
}
