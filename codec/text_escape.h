#pragma once
// Keeps diagnostic lines on one line and in the order they were written: C0
// control bytes (below 0x20, and 0x7F) and bytes that form no UTF-8
// character become \xHH; C1 controls (U+0080-U+009F) and the bidirectional
// overrides and isolates (U+202A-U+202E, U+2066-U+2069) become \uHHHH;
// every other character stays.

#include <string>

std::string EscapeControlBytes(const std::string& text);

// A character a terminal obeys or reorders text by, without showing it: the
// C1 controls and the bidirectional overrides and isolates.
bool IsInvisibleControl(char32_t codePoint);
