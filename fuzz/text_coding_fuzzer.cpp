// The three outbound text codings on arbitrary bytes: Base64Encode must fill
// exactly the buffer size it promises and decode back, UrlEscape must
// produce only its kept characters and escapes that undo to the input, and
// AnsiToUtf8 must emit ASCII unchanged and every other character as three
// bytes E? 8? 8?, without reading past the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "codec/str_coding.h"
#include "codec/url_escape.h"
#include "fuzz/fuzz_check.h"

namespace {

void CheckBase64(const uint8_t* data, size_t size) {
  std::vector<char> out((size + 2) / 3 * 4 + 1, '\x7f');
  int written = Base64Encode(data, static_cast<int>(size), out.data());
  FUZZ_CHECK(written == static_cast<int>(out.size()));
  FUZZ_CHECK(out.back() == '\0');
  std::string bytes;
  FUZZ_CHECK(Base64Decode(out.data(), out.size() - 1, bytes));
  FUZZ_CHECK(bytes.size() == size && std::memcmp(bytes.data(), data, size) == 0);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsKept(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' || c == '_';
}

void CheckUrlEscape(const uint8_t* data, size_t size) {
  size_t length = 0;
  char* escaped = UrlEscape(data, size, &length);
  FUZZ_CHECK(escaped != nullptr);
  FUZZ_CHECK(std::strlen(escaped) == length && length <= 3 * size);

  std::string undone;
  for (size_t i = 0; i < length;) {
    char c = escaped[i];
    if (c == '+') {
      undone += ' ';
      ++i;
    } else if (c == '%') {
      FUZZ_CHECK(i + 2 < length && HexValue(escaped[i + 1]) >= 0 && HexValue(escaped[i + 2]) >= 0);
      char byte = static_cast<char>(HexValue(escaped[i + 1]) * 16 + HexValue(escaped[i + 2]));
      FUZZ_CHECK(!IsKept(byte) && byte != ' ');
      undone += byte;
      i += 3;
    } else {
      FUZZ_CHECK(IsKept(c));
      undone += c;
      ++i;
    }
  }
  std::free(escaped);
  FUZZ_CHECK(undone.size() == size && std::memcmp(undone.data(), data, size) == 0);
}

void CheckAnsiToUtf8(const uint8_t* data, size_t size) {
  // An exact-size heap copy, so that a read past the end is caught.
  std::vector<char> text(data, data + size);
  std::string utf8 = "stale";
  g_StrCoding.AnsiToUtf8(utf8, text.data(), static_cast<int>(size));

  size_t out = 0;
  for (size_t in = 0; in < size;) {
    if (data[in] < 0x80) {
      FUZZ_CHECK(out < utf8.size() && static_cast<uint8_t>(utf8[out]) == data[in]);
      ++out;
      ++in;
      continue;
    }
    // A lead byte with no trail byte left: nothing or one replacement triple.
    if (in + 1 == size && out == utf8.size()) break;
    FUZZ_CHECK(out + 3 <= utf8.size());
    FUZZ_CHECK((static_cast<uint8_t>(utf8[out]) & 0xF0) == 0xE0);
    FUZZ_CHECK((static_cast<uint8_t>(utf8[out + 1]) & 0xC0) == 0x80);
    FUZZ_CHECK((static_cast<uint8_t>(utf8[out + 2]) & 0xC0) == 0x80);
    out += 3;
    in += 2;
  }
  FUZZ_CHECK(out == utf8.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckBase64(data, size);
  CheckUrlEscape(data, size);
  CheckAnsiToUtf8(data, size);
  return 0;
}
