#pragma once
#include <cstddef>
#include <string>

// Form encoding of a URL query value: a blank becomes '+', "-._", digits and
// ASCII letters stay, every other byte becomes "%XX" (upper-case hex).
// Returns a NUL-terminated text allocated with malloc (the caller frees it),
// or nullptr when it cannot be allocated; *outLength, when given, receives the
// number of characters without the NUL (0 on failure).
char* UrlEscape(const unsigned char* data, size_t length, size_t* outLength);

// Percent-encodes the bytes of value that would break or change a URL
// query: blank, '&', '=', '#', '%', '+', control bytes and bytes of 0x80 and
// above. All other bytes stay, so plain values go unchanged.
std::string EscapeQueryValue(const std::string& value);
