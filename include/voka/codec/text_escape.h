#pragma once
// Keeps diagnostic lines on one line, in the order they were written and
// showing what they hold: C0 control bytes (below 0x20, and 0x7F) and bytes
// that form no UTF-8 character become \xHH; C1 controls (U+0080-U+009F),
// format characters (Unicode's category Cf: the bidirectional marks,
// overrides and isolates, zero-width characters, the byte order mark...)
// and the line and paragraph separators (U+2028, U+2029) become \uHHHH;
// every other character stays.

#include <string>

std::string EscapeControlBytes(const std::string& text);

// A character a terminal obeys, hides, or reorders or breaks text by: the C1
// controls, the format characters and the line and paragraph separators.
bool IsInvisibleControl(char32_t codePoint);
