#pragma once
#include <string>

// ANSI text to the UTF-8 and URL forms that the HTTP requests carry.
class CStrCoding {
 public:
  virtual ~CStrCoding();

  // Every byte of 0x80 or above starts a two-byte character, written as three
  // UTF-8 bytes even below U+0800; a pair that does not convert gives U+FFFD.
  // A lead byte at the end pairs with a NUL. Allocation failure throws
  // std::bad_alloc: an empty text would go out in place of the value.
  void AnsiToUtf8(std::string& result, const char* text, int length);

  // The NUL-terminated ANSI text as URL-escaped UTF-8. Throws when memory
  // cannot be had, for the same reason.
  std::string UrlEncode(const char* text);
};

extern CStrCoding g_StrCoding;
