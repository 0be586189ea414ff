// The Base64 decoder on arbitrary text. Whatever it accepts must re-encode to
// text that decodes to the same bytes, and the accepted length must be a
// whole number of quads.
#include <cstdint>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string bytes;
  if (!Base64Decode(text.data(), text.size(), bytes)) return 0;

  FUZZ_CHECK(size % 4 == 0);
  FUZZ_CHECK(bytes.size() <= size / 4 * 3);
  FUZZ_CHECK(bytes.size() + 2 >= size / 4 * 3);

  std::vector<char> encoded((bytes.size() + 2) / 3 * 4 + 1);
  int written = Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()),
                             encoded.data());
  FUZZ_CHECK(written == static_cast<int>(encoded.size()));
  FUZZ_CHECK(static_cast<size_t>(written - 1) == size);

  std::string again;
  FUZZ_CHECK(Base64Decode(encoded.data(), encoded.size() - 1, again));
  FUZZ_CHECK(again == bytes);
  return 0;
}
