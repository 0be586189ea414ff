// An independent reading of the answer format, to compare the engine's
// parser with: fields separated by NUL or "^$^", name before the first '=',
// names upper-cased (a-z only), the later value winning, and the last byte
// of the answer being its terminator.
#pragma once

#include <cstddef>
#include <map>
#include <string>

// The answer as one "^$^"-separated text. The engine keeps answers of any
// length whole, so the model has no size limit either.
std::string ModelAnswerText(const char* data, size_t length);

// The fields that the text holds, as the result map would store them.
std::map<std::string, std::string> ModelAnswerFields(const std::string& text);
