#include "window_text.h"

#include <vector>

std::wstring LoadText(UINT id) {
  const wchar_t* text = nullptr;
  // With no buffer, LoadStringW points into the loaded resource itself.
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, length) : std::wstring();
}

std::wstring FormatText(UINT id, std::initializer_list<std::wstring> inserts) {
  const std::wstring format = LoadText(id);
  std::vector<DWORD_PTR> arguments;
  for (const std::wstring& insert : inserts) arguments.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, format.c_str(), 0, 0,
      reinterpret_cast<LPWSTR>(&text), 0, reinterpret_cast<va_list*>(arguments.data()));
  std::wstring result = length > 0 ? std::wstring(text, length) : format;
  LocalFree(text);
  return result;
}
