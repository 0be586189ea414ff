// The stand-in token's password: the OATH challenge-response (OCRA) of the
// suite OCRA-1:HOTP-SHA1-6:QN08, shared by the stand-in e-key library and the
// reference server, which checks it.
#pragma once

#include <string>

// The key bytes of a secret written as an even number of hex digits (either
// case); false for an empty or malformed text.
bool DecodeHexSecret(const std::string& hex, std::string& key);

// 0 with the six-digit response to a challenge of 1 to 8 decimal digits under
// the hex secret; non-zero, response untouched, for a bad secret or challenge.
int OcraResponse(const std::string& secretHex, const std::string& challenge, std::string& response);
