// Conversion of the host's BSTR arguments to the engine's ANSI text.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

// NULL and empty strings become ""; anything else is BstrToAnsi of it (cut
// at the first NUL; kTextNotInCodePage when the code page lacks a character).
HRESULT ArgumentToAnsi(BSTR argument, std::string& ansi);
