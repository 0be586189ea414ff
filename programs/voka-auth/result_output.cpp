#include "voka-auth/result_output.h"

#include <algorithm>
#include <cstdio>

#include "voka/codec/text_escape.h"
#include "voka/codec/utf8_sequence.h"
#include "voka/protocol/result_code_table.h"

namespace {

// \u escapes of one character; past U+FFFF, its UTF-16 surrogate pair.
std::string JsonEscape(char32_t codePoint) {
  char escape[16];
  const auto unit = static_cast<unsigned>(codePoint);
  if (unit > 0xFFFF) {
    std::snprintf(escape, sizeof escape, "\\u%04x\\u%04x", 0xD800 + ((unit - 0x10000) >> 10),
                  0xDC00 + ((unit - 0x10000) & 0x3FF));
  } else {
    std::snprintf(escape, sizeof escape, "\\u%04x", unit);
  }
  return escape;
}

// The dump is well-formed UTF-8, and these characters can stand only inside
// its strings, where a \u escape means the same: DEL and the characters that
// move or hide text on a terminal.
std::string EscapeInvisibleControls(const std::string& json) {
  std::string out;
  const auto* bytes = reinterpret_cast<const unsigned char*>(json.data());
  for (size_t at = 0; at < json.size();) {
    const size_t length = std::max<size_t>(1, Utf8SequenceLength(bytes + at, json.size() - at));
    const char32_t codePoint = length > 1 ? Utf8CodePoint(bytes + at, length) : bytes[at];
    if (codePoint == 0x7F || (length > 1 && IsInvisibleControl(codePoint))) {
      out += JsonEscape(codePoint);
    } else {
      out.append(json, at, length);
    }
    at += length;
  }
  return out;
}

}  // namespace

std::string FormatJsonObject(const JsonObject& object) {
  JsonObject versioned = {{"schema", kJsonSchemaVersion}};
  versioned.update(object);
  return EscapeInvisibleControls(versioned.dump(-1, ' ', false, JsonObject::error_handler_t::replace));
}

std::string FormatJsonResult(const std::string& command, int result, const OutputFields& fields) {
  JsonObject answer = JsonObject::object();
  for (const auto& [name, value] : fields) answer[name] = value;
  return FormatJsonObject({{"command", command}, {"result", result}, {"fields", answer}});
}

std::string ResultLabel(const std::string& command, int result) {
  const ResultSource source = command == "get" ? ResultSource::kGetValue : ResultSource::kRequest;
  const ResultCodeEntry* entry = FindResultCode(source, result);
  std::string label = std::to_string(result);
  if (result == 0 || !entry) return label;
  return label + " " + entry->name + " (" + entry->meaning + ")";
}

std::string FormatHumanResult(const std::string& command, int result, const OutputFields& fields) {
  std::string out = command + ": " + ResultLabel(command, result) + "\n";
  // A server's text must not move the cursor or forge a line of its own.
  for (const auto& field : fields) {
    out += "  " + EscapeControlBytes(field.first) + "=" + EscapeControlBytes(field.second) + "\n";
  }
  return out;
}

std::string FormatJsonText(const std::string& command, const std::string& text) {
  return FormatJsonObject({{"command", command}, {"result", 0}, {"text", text}});
}
