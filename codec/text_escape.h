#pragma once
// Keeps diagnostic lines on one line: control bytes (below 0x20, and 0x7F)
// become \xHH; every other byte stays.

#include <string>

std::string EscapeControlBytes(const std::string& text);
