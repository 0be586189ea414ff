#include "codec/str_coding.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "codec/url_escape.h"
#include "voka/codec/ansi_codepage.h"

CStrCoding g_StrCoding;

namespace {

// U+FFFD stands for a pair that the code page cannot convert.
constexpr uint16_t kReplacementCharacter = 0xFFFD;

void AppendThreeByteForm(std::string& result, uint16_t unit) {
  result.push_back(static_cast<char>(0xE0 | (unit >> 12)));
  result.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
  result.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
}

}  // namespace

CStrCoding::~CStrCoding() = default;

void CStrCoding::AnsiToUtf8(std::string& result, const char* text, int length) {
  result.clear();
  if (!text || length <= 0) return;
  result.reserve(static_cast<size_t>(length) / 2 * 3 + 3);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (int i = 0; i < length;) {
    if (bytes[i] < 0x80) {
      result.push_back(static_cast<char>(bytes[i]));
      ++i;
      continue;
    }
    // A lead byte at the end pairs with the terminating NUL; it is not read
    // from the input, so a buffer without a NUL is never read past.
    const unsigned char trail = i + 1 < length ? bytes[i + 1] : 0;
    uint16_t unit = 0;
    if (!AnsiPairToUtf16(bytes[i], trail, unit)) unit = kReplacementCharacter;
    AppendThreeByteForm(result, unit);
    i += 2;
  }
}

std::string CStrCoding::UrlEncode(const char* text) {
  const size_t length = text ? std::strlen(text) : 0;
  if (length > INT_MAX) throw std::length_error("text too long to encode");
  std::string result;
  AnsiToUtf8(result, text, static_cast<int>(length));
  size_t escapedLength = 0;
  std::unique_ptr<char, decltype(&std::free)> escaped(
      UrlEscape(reinterpret_cast<const unsigned char*>(result.data()), result.size(), &escapedLength), &std::free);
  if (!escaped) throw std::bad_alloc();
  result.assign(escaped.get(), escapedLength);
  return result;
}
