#include "tools/voka_auth/result_output.h"

#include <cstdio>

namespace {

// Length of the well-formed UTF-8 sequence at text[at], or 0 when the bytes
// there do not form one (overlong forms, surrogates and values past U+10FFFF
// included).
size_t Utf8SequenceLength(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    unsigned char next = byte(at + i);
    unsigned char min = i == 1 ? low : 0x80;
    unsigned char max = i == 1 ? high : 0xBF;
    if (next < min || next > max) return 0;
  }
  return length;
}

}  // namespace

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  size_t at = 0;
  while (at < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[at]);
    size_t length = Utf8SequenceLength(utf8, at);
    if (length == 0) {
      out += "\\ufffd";
      ++at;
      continue;
    }
    if (length > 1) {
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
    } else if (c < 0x20) {
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

std::string FormatHumanResult(const std::string& command, int result, const OutputFields& fields) {
  std::string out = command + ": " + std::to_string(result) + "\n";
  for (const auto& field : fields) out += "  " + field.first + "=" + field.second + "\n";
  return out;
}

std::string FormatJsonText(const std::string& command, const std::string& text) {
  return "{\"command\":" + JsonString(command) + ",\"result\":0,\"text\":" + JsonString(text) + "}";
}
