#pragma once
// Conversions at the COM boundary between the host's wide strings and the
// engine's ANSI text (Windows only). Errors are returned, never thrown.

#include <windows.h>
#include <oleauto.h>

#include <string>

// BstrToAnsi's result for a text that cannot be held unchanged as NUL-terminated
// text in the code page.
constexpr HRESULT kTextNotInCodePage = static_cast<HRESULT>(0x80070000 | ERROR_NO_UNICODE_TRANSLATION);

// The SysStringLen characters of wide in the ANSI code page. A NULL string
// gives "". S_OK; kTextNotInCodePage when a character is missing from the
// code page (no default character, no best-fit look-alike, no lone
// surrogate) or the text holds a NUL; E_OUTOFMEMORY, or HRESULT_FROM_WIN32 of
// another error.
HRESULT BstrToAnsi(BSTR wide, std::string& ansi);

// A new BSTR (freed with SysFreeString) of the bytes up to the first NUL; a
// NULL or empty text gives an empty, non-NULL BSTR. *out is NULL on failure.
HRESULT AnsiToBstr(const char* text, BSTR* out);
