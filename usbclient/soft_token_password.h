// The password of the development software token, shared by the stand-in
// e-key library and the reference server, which checks it.
#pragma once

#include <string>

// Upper-case hexadecimal (16 digits) of the 64-bit FNV-1a hash of the bytes
// of secret, one 0 byte, then the bytes of challenge. The 0 byte keeps
// ("ab", "c") and ("a", "bc") apart. Always 16 characters, so it fits the
// token's 19-character limit.
std::string SoftTokenPassword(const std::string& secret, const std::string& challenge);
