#include "codec/bstr_convert.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <new>

#include "voka/codec/ansi_codepage.h"

namespace {

HRESULT LastConversionError() {
  const DWORD error = GetLastError();
  if (error == 0) return E_FAIL;
  return static_cast<LONG>(error) > 0 ? HRESULT_FROM_WIN32(error) : static_cast<HRESULT>(error);
}

}  // namespace

HRESULT BstrToAnsi(BSTR wide, std::string& ansi) {
  ansi.clear();
  // Read by its length: the text need not end in a NUL, and may hold one,
  // which the engine's NUL-terminated text could not carry. NULs at the end
  // carry nothing: hosts that count the terminator in the length (Wine's
  // WScript.Shell.ExpandEnvironmentStrings does) send the text they mean.
  size_t length = SysStringLen(wide);
  while (length > 0 && wide[length - 1] == L'\0') --length;
  if (length == 0) return S_OK;
  if (std::wmemchr(wide, L'\0', length) != nullptr) return kTextNotInCodePage;
  if (length > INT_MAX) return E_OUTOFMEMORY;

  const unsigned codePage = AnsiCodePage();
  const int wideLength = static_cast<int>(length);
  // Code pages that hold every character take no default character; the
  // others must neither substitute one nor pick a look-alike letter.
  const bool holdsEverything = codePage == CP_UTF8 || codePage == kGb18030CodePage;
  const DWORD flags = holdsEverything ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  const int size = WideCharToMultiByte(codePage, flags, wide, wideLength, nullptr, 0, nullptr,
                                       holdsEverything ? nullptr : &usedDefault);
  if (size <= 0) {
    return GetLastError() == ERROR_NO_UNICODE_TRANSLATION ? kTextNotInCodePage : LastConversionError();
  }
  if (usedDefault) return kTextNotInCodePage;
  try {
    ansi.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (WideCharToMultiByte(codePage, flags, wide, wideLength, &ansi[0], size, nullptr, nullptr) <= 0) {
    const HRESULT error = LastConversionError();
    ansi.clear();
    return error;
  }
  return S_OK;
}

HRESULT AnsiToBstr(const char* text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const size_t length = text ? std::strlen(text) : 0;
  if (length > INT_MAX) return E_OUTOFMEMORY;
  if (length == 0) {
    *out = SysAllocStringLen(nullptr, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  const unsigned codePage = AnsiCodePage();
  const int ansiLength = static_cast<int>(length);
  const int size = MultiByteToWideChar(codePage, 0, text, ansiLength, nullptr, 0);
  if (size <= 0) return LastConversionError();
  BSTR wide = SysAllocStringLen(nullptr, static_cast<UINT>(size));
  if (!wide) return E_OUTOFMEMORY;
  if (MultiByteToWideChar(codePage, 0, text, ansiLength, wide, size) <= 0) {
    const HRESULT error = LastConversionError();
    SysFreeString(wide);
    return error;
  }
  *out = wide;
  return S_OK;
}
