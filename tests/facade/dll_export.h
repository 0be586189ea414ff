// An export of a loaded DLL as a typed function pointer.
#pragma once

#include <windows.h>

// GetProcAddress returns a generic function pointer; going through
// void (*)() tells the compiler the cast is deliberate.
template <typename Function>
Function DllExport(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
