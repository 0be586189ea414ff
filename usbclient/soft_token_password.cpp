#include "usbclient/soft_token_password.h"

#include <cstdint>

namespace {

constexpr uint64_t kFnvOffsetBasis = 0xCBF29CE484222325ull;
constexpr uint64_t kFnvPrime = 0x00000100000001B3ull;

uint64_t Fnv1aAppend(uint64_t hash, const std::string& bytes) {
  for (unsigned char byte : bytes) {
    hash ^= byte;
    hash *= kFnvPrime;
  }
  return hash;
}

}  // namespace

std::string SoftTokenPassword(const std::string& secret, const std::string& challenge) {
  uint64_t hash = Fnv1aAppend(kFnvOffsetBasis, secret);
  hash = Fnv1aAppend(hash, std::string(1, '\0'));
  hash = Fnv1aAppend(hash, challenge);

  static const char kHexDigits[] = "0123456789ABCDEF";
  std::string password(16, '0');
  for (int i = 15; i >= 0; --i) {
    password[i] = kHexDigits[hash & 0xF];
    hash >>= 4;
  }
  return password;
}
