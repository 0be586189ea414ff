#include "voka/codec/text_escape.h"

#include <cstdio>

#include "voka/codec/utf8_sequence.h"

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

namespace {

// Unicode 15's format characters (Cf), then its line and paragraph separators.
constexpr char32_t kInvisibleRanges[][2] = {
    {0x0080, 0x009F},   {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},
    {0x202A, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},
    {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
    {0xE0001, 0xE0001}, {0xE0020, 0xE007F}, {0x2028, 0x2029}};

}  // namespace

bool IsInvisibleControl(char32_t codePoint) {
  for (const auto& range : kInvisibleRanges) {
    if (codePoint >= range[0] && codePoint <= range[1]) return true;
  }
  return false;
}
