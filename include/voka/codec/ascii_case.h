// Upper-casing of ASCII letters alone: field names are matched without regard
// to a-z case, and a code page's two-byte characters must not change.
#pragma once

#include <string>

inline std::string UpperCaseAscii(std::string text) {
  for (char& byte : text) {
    if (byte >= 'a' && byte <= 'z') byte = static_cast<char>(byte - 'a' + 'A');
  }
  return text;
}
