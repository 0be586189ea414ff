// Conversion of the host's BSTR arguments to the engine's ANSI text.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

// NULL and empty strings become ""; anything else is BstrToAnsi of it, read
// by its length (kTextNotInCodePage when it holds a NUL or a character the
// code page lacks).
HRESULT ArgumentToAnsi(BSTR argument, std::string& ansi);
