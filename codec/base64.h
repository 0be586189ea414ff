#pragma once
// Base64 with the standard alphabet and '=' padding, on one unbroken line.

#include <climits>
#include <cstddef>
#include <string>

// The longest input whose text and NUL can be counted in an int.
constexpr int kBase64EncodeMaxLength = (INT_MAX - 1) / 4 * 3;

// Writes the Base64 text of length bytes and a NUL to out, which holds at
// least 4 * ceil(length / 3) + 1 bytes. Returns the characters written plus
// one; a length <= 0 (or null data) writes only the NUL and returns 1. A
// length past kBase64EncodeMaxLength writes only the NUL and gives 0; a null
// out receives nothing and gives 0.
int Base64Encode(const unsigned char* data, int length, char* out);

// Decodes exactly length characters of canonical padded Base64 into bytes.
// Returns false, leaving bytes as it was, for any other character, a length
// that is not a multiple of 4, misplaced padding or non-zero padding bits.
bool Base64Decode(const char* text, size_t length, std::string& bytes);
