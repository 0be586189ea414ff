// The window's texts from the program's string tables, in the language the
// resource loader picked (login_window.rc).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

// The string ID.
std::wstring LoadText(UINT id);

// The string ID with %1, %2... replaced by INSERTS, in that order.
std::wstring FormatText(UINT id, std::initializer_list<std::wstring> inserts);
