#include "codec/text_escape.h"

#include <cstdio>

#include "codec/utf8_sequence.h"

std::string EscapeControlBytes(const std::string& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::string out;
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceLength(bytes + at, text.size() - at);
    char escape[12];
    if (length == 0 || bytes[at] < 0x20 || bytes[at] == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", bytes[at]);
      out += escape;
      ++at;
      continue;
    }
    const char32_t codePoint = Utf8CodePoint(bytes + at, length);
    if (IsInvisibleControl(codePoint)) {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(codePoint));
      out += escape;
    } else {
      out.append(text, at, length);
    }
    at += length;
  }
  return out;
}

bool IsInvisibleControl(char32_t codePoint) {
  return (codePoint >= 0x80 && codePoint <= 0x9F) || (codePoint >= 0x202A && codePoint <= 0x202E) ||
         (codePoint >= 0x2066 && codePoint <= 0x2069);
}
