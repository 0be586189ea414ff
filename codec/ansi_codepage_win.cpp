#include <windows.h>

#include <atomic>
#include <climits>

#include "voka/codec/ansi_codepage.h"

namespace {

// 0 while no code page has been set: the system's ANSI code page applies.
std::atomic<unsigned> g_chosenCodePage{0};

std::string WideToUtf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], size, nullptr, nullptr);
  return utf8;
}

// Converts character by character, so that only the bytes that form no
// character of the code page become U+FFFD.
std::wstring AnsiToWideByCharacter(unsigned codePage, const std::string& ansi) {
  std::wstring wide;
  wide.reserve(ansi.size());
  for (size_t i = 0; i < ansi.size();) {
    const bool pair = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(ansi[i])) && i + 1 < ansi.size();
    const int length = pair ? 2 : 1;
    wchar_t units[4];
    const int count = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &ansi[i], length, units, 4);
    if (count > 0) {
      wide.append(units, static_cast<size_t>(count));
      i += static_cast<size_t>(length);
    } else {
      wide.push_back(0xFFFD);
      ++i;
    }
  }
  return wide;
}

// Only UTF-8 and GB18030 reach beyond the BMP; for any other code page a
// surrogate pair is one character it lacks and must give one '?', not two.
void ReplaceSurrogatePairs(std::wstring& wide) {
  size_t kept = 0;
  for (size_t i = 0; i < wide.size(); ++i) {
    const bool pair = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]);
    wide[kept++] = pair ? 0xFFFD : wide[i];
    if (pair) ++i;
  }
  wide.resize(kept);
}

}  // namespace

unsigned AnsiCodePage() {
  const unsigned chosen = g_chosenCodePage.load();
  return chosen ? chosen : GetACP();
}

void SetAnsiCodePage(unsigned codePage) { g_chosenCodePage.store(codePage); }

bool IsAnsiCodePageAvailable(unsigned codePage) {
  return codePage != 0 && codePage <= 65535 && IsValidCodePage(codePage);
}

bool AnsiPairToUtf16(unsigned char lead, unsigned char trail, uint16_t& unit) {
  const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  wchar_t units[2];
  // MB_ERR_INVALID_CHARS: an invalid pair must fail, not turn into the
  // code page's default character.
  const int count = MultiByteToWideChar(AnsiCodePage(), MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, pair, 2, units, 2);
  if (count != 1) return false;
  unit = static_cast<uint16_t>(units[0]);
  return true;
}

std::string AnsiToUtf8Text(const std::string& ansi) {
  if (ansi.empty() || ansi.size() > INT_MAX) return std::string();
  const unsigned codePage = AnsiCodePage();
  const int length = static_cast<int>(ansi.size());
  // UTF-8 itself may be the ANSI code page; Windows then puts U+FFFD in place
  // of invalid bytes on its own.
  const DWORD flags = codePage == CP_UTF8 ? 0 : MB_ERR_INVALID_CHARS;
  const int size = MultiByteToWideChar(codePage, flags, ansi.data(), length, nullptr, 0);
  if (size <= 0) return WideToUtf8(AnsiToWideByCharacter(codePage, ansi));
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, flags, ansi.data(), length, &wide[0], size);
  return WideToUtf8(wide);
}

std::string Utf8ToAnsiText(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX) return std::string();
  const int length = static_cast<int>(utf8.size());
  const int wideSize = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (wideSize <= 0) return std::string();
  std::wstring wide(static_cast<size_t>(wideSize), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &wide[0], wideSize);

  const unsigned codePage = AnsiCodePage();
  if (codePage != CP_UTF8 && codePage != kGb18030CodePage) ReplaceSurrogatePairs(wide);
  // No best fit: a character the code page lacks becomes '?', not a look-alike.
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int wideLength = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(codePage, flags, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string ansi(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), wideLength, &ansi[0], size, nullptr, nullptr);
  return ansi;
}

bool Utf8ToAnsiExactText(const std::string& utf8, std::string& ansi) {
  ansi.clear();
  if (utf8.empty()) return true;
  if (utf8.size() > INT_MAX) return false;
  const int length = static_cast<int>(utf8.size());
  const int wideSize = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (wideSize <= 0) return false;
  std::wstring wide(static_cast<size_t>(wideSize), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, &wide[0], wideSize);
  // As for the COM object's arguments: no default character, no best-fit
  // look-alike, no lone surrogate.
  const unsigned codePage = AnsiCodePage();
  const bool holdsEverything = codePage == CP_UTF8 || codePage == kGb18030CodePage;
  const DWORD flags = holdsEverything ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  const int size = WideCharToMultiByte(codePage, flags, wide.data(), wideSize, nullptr, 0, nullptr,
                                       holdsEverything ? nullptr : &usedDefault);
  if (size <= 0 || usedDefault) return false;
  ansi.resize(static_cast<size_t>(size));
  WideCharToMultiByte(codePage, flags, wide.data(), wideSize, &ansi[0], size, nullptr, nullptr);
  return true;
}
