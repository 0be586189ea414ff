#include "codec/url_escape.h"

#include <cstdint>
#include <cstdlib>

#include "voka/codec/hex_digit.h"

namespace {

bool IsKeptInQuery(unsigned char byte) {
  return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || byte == '-' ||
         byte == '.' || byte == '_';
}

}  // namespace

char* UrlEscape(const unsigned char* data, size_t length, size_t* outLength) {
  if (outLength) *outLength = 0;
  // One allocation for the worst case of three characters per byte.
  if (length > (SIZE_MAX - 1) / 3) return nullptr;
  char* escaped = static_cast<char*>(std::malloc(3 * length + 1));
  if (!escaped) return nullptr;

  size_t written = 0;
  for (size_t i = 0; i < length; ++i) {
    const unsigned char byte = data[i];
    if (byte == ' ') {
      escaped[written++] = '+';
    } else if (IsKeptInQuery(byte)) {
      escaped[written++] = static_cast<char>(byte);
    } else {
      escaped[written++] = '%';
      escaped[written++] = kUpperHexDigits[byte >> 4];
      escaped[written++] = kUpperHexDigits[byte & 0x0F];
    }
  }
  escaped[written] = '\0';
  if (outLength) *outLength = written;
  return escaped;
}

std::string EscapeQueryValue(const std::string& value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (unsigned char byte : value) {
    const bool breaksQuery =
        byte <= 0x20 || byte >= 0x7F || byte == '&' || byte == '=' || byte == '#' || byte == '%' || byte == '+';
    if (breaksQuery) {
      escaped += '%';
      escaped += kUpperHexDigits[byte >> 4];
      escaped += kUpperHexDigits[byte & 0x0F];
    } else {
      escaped += static_cast<char>(byte);
    }
  }
  return escaped;
}
