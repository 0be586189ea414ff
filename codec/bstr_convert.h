#pragma once
// Conversions at the COM boundary between the host's wide strings and the
// engine's ANSI text (Windows only). Errors are returned, never thrown.

#include <windows.h>
#include <oleauto.h>

#include <string>

// The characters up to the first NUL in the ANSI code page; a character the
// code page lacks becomes its default character. A NULL string gives "".
// S_OK, E_OUTOFMEMORY, or HRESULT_FROM_WIN32 of the conversion's error.
HRESULT BstrToAnsi(BSTR wide, std::string& ansi);

// A new BSTR (freed with SysFreeString) of the bytes up to the first NUL; a
// NULL or empty text gives an empty, non-NULL BSTR. *out is NULL on failure.
HRESULT AnsiToBstr(const char* text, BSTR* out);
