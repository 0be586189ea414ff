#pragma once
// Recognising one well-formed UTF-8 character.

#include <cstddef>

// Length (1 to 4) of the well-formed UTF-8 character at the start of bytes,
// of which available (at least 1) can be read; 0 when the bytes there do not
// form one (overlong forms, surrogates and values past U+10FFFF included).
size_t Utf8SequenceLength(const unsigned char* bytes, size_t available);

// The code point of a well-formed character of length bytes (as above).
char32_t Utf8CodePoint(const unsigned char* bytes, size_t length);
