#include "programs/voka-auth/result_output.h"

#include <cstdio>

#include "codec/text_escape.h"
#include "codec/utf8_sequence.h"
#include "engine/result_code_table.h"

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  size_t at = 0;
  while (at < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[at]);
    size_t length = Utf8SequenceLength(reinterpret_cast<const unsigned char*>(utf8.data()) + at, utf8.size() - at);
    if (length == 0) {
      out += "\\ufffd";
      ++at;
      continue;
    }
    const char32_t codePoint = Utf8CodePoint(reinterpret_cast<const unsigned char*>(utf8.data()) + at, length);
    if (IsInvisibleControl(codePoint)) {
      // Past U+FFFF, JSON writes the character as its UTF-16 surrogate pair.
      char escape[16];
      const auto unit = static_cast<unsigned>(codePoint);
      if (unit > 0xFFFF) {
        std::snprintf(escape, sizeof escape, "\\u%04x\\u%04x", 0xD800 + ((unit - 0x10000) >> 10),
                      0xDC00 + ((unit - 0x10000) & 0x3FF));
      } else {
        std::snprintf(escape, sizeof escape, "\\u%04x", unit);
      }
      out += escape;
    } else if (length > 1) {
      out.append(utf8, at, length);
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
    at += length;
  }
  return out + "\"";
}

std::string FormatJsonResult(const std::string& command, int result, const OutputFields& fields) {
  std::string out = "{\"command\":" + JsonString(command) + ",\"result\":" + std::to_string(result) + ",\"fields\":{";
  bool first = true;
  for (const auto& field : fields) {
    if (!first) out += ',';
    first = false;
    out += JsonString(field.first) + ':' + JsonString(field.second);
  }
  return out + "}}";
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
  return "{\"command\":" + JsonString(command) + ",\"result\":0,\"text\":" + JsonString(text) + "}";
}
