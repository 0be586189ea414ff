// HMAC-SHA1 from the platform's crypto library (libcrypto on Linux, CNG on
// Windows).
#pragma once

#include <array>
#include <cstdint>
#include <string>

using Sha1Mac = std::array<uint8_t, 20>;

// 0 with the MAC of message under key; non-zero when the library refuses.
int HmacSha1(const std::string& key, const std::string& message, Sha1Mac& mac);
