#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "second_factor/hmac_sha1.h"

int HmacSha1(const std::string& key, const std::string& message, Sha1Mac& mac) {
  unsigned int length = 0;
  const unsigned char* result =
      HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(message.data()),
           message.size(), mac.data(), &length);
  return result != nullptr && length == mac.size() ? 0 : 1;
}
