// What voka-auth prints after each command: human lines or one JSON object.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Answer fields in result-map order, names and values already in UTF-8.
using OutputFields = std::vector<std::pair<std::string, std::string>>;

// The text as a quoted JSON string. Bytes that are not well-formed UTF-8
// become U+FFFD, so the output always parses.
std::string JsonString(const std::string& utf8);

// {"command":"…","result":N,"fields":{"NAME":"VALUE",…}} without a line end.
std::string FormatJsonResult(const std::string& command, int result, const OutputFields& fields);

// The result as printed: the number, then, unless it is 0, the name and
// meaning the engine's table gives it ("get" reads GetValue's codes).
std::string ResultLabel(const std::string& command, int result);

// "COMMAND: RESULT" (the ResultLabel) and one indented NAME=VALUE line per field, each ending in '\n'.
std::string FormatHumanResult(const std::string& command, int result, const OutputFields& fields);

// {"command":"…","result":0,"text":"…"} for seal and unseal.
std::string FormatJsonText(const std::string& command, const std::string& text);
