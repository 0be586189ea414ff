// The decrypt direction of the cipher on arbitrary bytes: the first 24 bytes
// are the key, the rest the ciphertext. Decrypting must never read or write
// outside its buffers, and encrypting what came out must give back text that
// decrypts to the same result.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "voka/codec/d3_wrapper.h"

namespace {

constexpr size_t kKeySize = 24;

std::string CryptWith(const unsigned char* key, short mode, const unsigned char* data, int length) {
  CD3Wrapper cipher;
  FUZZ_CHECK(cipher.SetKey(key, mode) == 0);
  unsigned char* out = nullptr;
  int count = cipher.Crypt(data, length, &out);
  FUZZ_CHECK(count >= 0 && count <= (length + 23) / 24 * 24);
  FUZZ_CHECK(out != nullptr);
  std::string result(reinterpret_cast<char*>(out), count);
  delete[] out;
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  unsigned char key[kKeySize] = {};
  std::memcpy(key, data, size < kKeySize ? size : kKeySize);
  const unsigned char* text = size > kKeySize ? data + kKeySize : data;
  int length = size > kKeySize ? static_cast<int>(size - kKeySize) : 0;

  std::string plain = CryptWith(key, 1, text, length);
  FUZZ_CHECK(plain.empty() || static_cast<unsigned char>(plain.back()) != 0xFF);

  // The trimmed decryption never ends in 0xFF, so it survives a round trip,
  // unless trimming the ciphertext dropped whole blocks of 0xFF, which no
  // padding can bring back.
  const auto* plainBytes = reinterpret_cast<const unsigned char*>(plain.data());
  std::string sealed = CryptWith(key, 0, plainBytes, static_cast<int>(plain.size()));
  if ((sealed.size() + 23) / 24 != (plain.size() + 23) / 24) return 0;
  std::string reopened =
      CryptWith(key, 1, reinterpret_cast<const unsigned char*>(sealed.data()), static_cast<int>(sealed.size()));
  FUZZ_CHECK(reopened == plain);
  return 0;
}
