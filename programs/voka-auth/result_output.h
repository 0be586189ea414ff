// What voka-auth prints after each command: human lines or one JSON object.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

// Answer fields in result-map order, names and values already in UTF-8.
using OutputFields = std::vector<std::pair<std::string, std::string>>;

// The version of the JSON objects' form, their "schema" key: it grows when a
// key is removed or changes its meaning or form, not when one is added
// (docs/schemas/*.schema.json describe each command's object). 2: check's
// "expires" is an RFC 3339 time.
constexpr int kJsonSchemaVersion = 2;

// A JSON object in the order its keys were added.
using JsonObject = nlohmann::ordered_json;

// {"schema":N, ...object's keys} on one line without a line end. Bytes that
// are not well-formed UTF-8 become U+FFFD, so the output always parses, and
// the characters a terminal obeys without showing them are \u escapes.
std::string FormatJsonObject(const JsonObject& object);

// Why a request failed: the cause name of each stage it tried (empty: not
// tried), and what the last one means; all empty when its answer was read.
struct StageCauses {
  std::string udp;
  std::string http;
  std::string text;
};

// {"schema":N,"command":"…","result":N,"fields":{"NAME":"VALUE",…}}, and
// "cause":{"udp":"…","http":"…","text":"…"} after them when causes has a text.
std::string FormatJsonResult(const std::string& command, int result, const OutputFields& fields,
                             const StageCauses& causes = {});

// "2026-12-07T11:11:05Z" for "2026-12-07 11:11:05 UTC"; any other text unchanged.
std::string Rfc3339Time(const std::string& utcTime);

// The result as printed: the number, then, unless it is 0, the name and
// meaning the engine's table gives it ("get" reads GetValue's codes).
std::string ResultLabel(const std::string& command, int result);

// Replaces the value of each field that requests keep secret (EKEYPWD, PWD, ...) by "***".
void MaskSecretFields(OutputFields& fields);

// "COMMAND: RESULT" (the ResultLabel) and one indented NAME=VALUE line per field, each ending in '\n'.
std::string FormatHumanResult(const std::string& command, int result, const OutputFields& fields);

// {"schema":N,"command":"…","result":0,"text":"…"} for seal and unseal.
std::string FormatJsonText(const std::string& command, const std::string& text);
