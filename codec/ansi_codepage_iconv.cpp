#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "codec/cp936_private_use.h"
#include "voka/codec/ansi_codepage.h"
#include "voka/codec/utf8_sequence.h"
#include "voka/limits.h"

namespace {

// iconv's own failure value is an integer cast to its handle type.
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
const char kUtf8Replacement[] = "\xEF\xBF\xBD";

// 0 while no code page has been set: the environment decides.
std::atomic<unsigned> g_chosenCodePage{0};

unsigned CodePageFromEnvironment() {
  const char* text = std::getenv("VOKA_CODEPAGE");
  if (!text || !*text) return kDefaultCodePage;
  char* end = nullptr;
  errno = 0;
  const unsigned long codePage = std::strtoul(text, &end, 10);
  if (errno || *end || codePage == 0 || codePage > 65535) return kDefaultCodePage;
  return static_cast<unsigned>(codePage);
}

std::string IconvName(unsigned codePage) {
  if (codePage == 65001) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

enum class Direction { kAnsiToUtf16, kAnsiToUtf8, kUtf8ToAnsi };

// An iconv descriptor carries conversion state and must not be shared between
// threads, so every thread keeps its own, reopened when the code page changes.
class ThreadConverter {
 public:
  explicit ThreadConverter(Direction direction) : direction_(direction) {}
  ~ThreadConverter() { Close(); }
  ThreadConverter(const ThreadConverter&) = delete;
  ThreadConverter& operator=(const ThreadConverter&) = delete;

  // A descriptor in its initial state, or kNoConverter when iconv lacks the
  // code page.
  iconv_t For(unsigned codePage) {
    if (codePage != codePage_) {
      Close();
      codePage_ = codePage;
      const std::string ansi = IconvName(codePage);
      switch (direction_) {
        case Direction::kAnsiToUtf16: handle_ = iconv_open("UTF-16LE", ansi.c_str()); break;
        case Direction::kAnsiToUtf8: handle_ = iconv_open("UTF-8", ansi.c_str()); break;
        case Direction::kUtf8ToAnsi: handle_ = iconv_open(ansi.c_str(), "UTF-8"); break;
      }
    }
    if (handle_ != kNoConverter) iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    return handle_;
  }

 private:
  void Close() {
    if (handle_ != kNoConverter) iconv_close(handle_);
    handle_ = kNoConverter;
    codePage_ = 0;
  }

  const Direction direction_;
  iconv_t handle_ = kNoConverter;
  unsigned codePage_ = 0;
};

ThreadConverter& Converter(Direction direction) {
  thread_local ThreadConverter toUtf16(Direction::kAnsiToUtf16);
  thread_local ThreadConverter toUtf8(Direction::kAnsiToUtf8);
  thread_local ThreadConverter toAnsi(Direction::kUtf8ToAnsi);
  switch (direction) {
    case Direction::kAnsiToUtf16: return toUtf16;
    case Direction::kAnsiToUtf8: return toUtf8;
    case Direction::kUtf8ToAnsi: break;
  }
  return toAnsi;
}

// Length of the well-formed UTF-8 character at text, or 1 for a byte that
// starts none: a whole character the code page lacks becomes one '?'.
size_t Utf8CharacterLength(const char* text, size_t available) {
  const size_t length = Utf8SequenceLength(reinterpret_cast<const unsigned char*>(text), available);
  return length > 0 ? length : 1;
}

size_t OneByte(const char*, size_t) { return 1; }

// Converts a whole text; where iconv stops at a byte, appends the replacement
// and skips what skipLength says, or, without a replacement, gives up with
// false. Without a converter only ASCII passes.
bool ConvertText(Direction direction, const std::string& text, const char* replacement,
                 size_t (*skipLength)(const char*, size_t), std::string& converted) {
  const iconv_t converter = Converter(direction).For(AnsiCodePage());
  converted.clear();
  converted.reserve(text.size() + text.size() / 2);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char chunk[512];
  while (inLeft > 0) {
    if (converter != kNoConverter) {
      char* out = chunk;
      size_t outLeft = sizeof chunk;
      const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
      const int error = errno;
      converted.append(chunk, static_cast<size_t>(out - chunk));
      if (result != static_cast<size_t>(-1) || error == E2BIG) continue;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    } else if (static_cast<unsigned char>(*in) < 0x80) {
      converted.push_back(*in);
      ++in;
      --inLeft;
      continue;
    }
    if (replacement == nullptr) return false;
    converted += replacement;
    const size_t skip = skipLength(in, inLeft);
    in += skip;
    inLeft -= skip;
  }
  return true;
}

}  // namespace

unsigned AnsiCodePage() {
  const unsigned chosen = g_chosenCodePage.load();
  return chosen ? chosen : CodePageFromEnvironment();
}

void SetAnsiCodePage(unsigned codePage) { g_chosenCodePage.store(codePage); }

bool IsAnsiCodePageAvailable(unsigned codePage) {
  if (codePage == 0 || codePage > 65535) return false;
  const std::string ansi = IconvName(codePage);
  bool available = true;
  for (const auto& [to, from] : {std::pair{"UTF-16LE", ansi.c_str()}, std::pair{ansi.c_str(), "UTF-8"}}) {
    const iconv_t converter = iconv_open(to, from);
    if (converter == kNoConverter) {
      available = false;
    } else {
      iconv_close(converter);
    }
  }
  return available;
}

bool AnsiPairToUtf16(unsigned char lead, unsigned char trail, uint16_t& unit) {
  const unsigned codePage = AnsiCodePage();
  const iconv_t converter = Converter(Direction::kAnsiToUtf16).For(codePage);
  if (converter == kNoConverter) return false;
  char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  unsigned char units[8];
  char* in = pair;
  size_t inLeft = sizeof pair;
  char* out = reinterpret_cast<char*>(units);
  size_t outLeft = sizeof units;
  if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) {
    // iconv's 936 lacks the private-use characters of the Windows code page.
    return codePage == 936 && Cp936PrivateUse(lead, trail, unit);
  }
  if (inLeft != 0 || sizeof units - outLeft != 2) return false;
  unit = static_cast<uint16_t>(units[0] | (units[1] << 8));
  return true;
}

std::string AnsiToUtf8Text(const std::string& ansi) {
  std::string utf8;
  ConvertText(Direction::kAnsiToUtf8, ansi, kUtf8Replacement, OneByte, utf8);
  return utf8;
}

std::string Utf8ToAnsiText(const std::string& utf8) {
  std::string ansi;
  ConvertText(Direction::kUtf8ToAnsi, utf8, "?", Utf8CharacterLength, ansi);
  return ansi;
}

bool Utf8ToAnsiExactText(const std::string& utf8, std::string& ansi) {
  return ConvertText(Direction::kUtf8ToAnsi, utf8, nullptr, Utf8CharacterLength, ansi);
}
