#include "voka-server/http_request.h"

#include "voka/codec/ascii_case.h"
#include "voka/codec/hex_digit.h"
#include "voka/protocol/answer_fields.h"

namespace {

// Blanks are let through: clients put some values into the query unencoded.
bool HasControlBytes(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

}  // namespace

bool SplitRequestTarget(const std::string& target, RequestTarget& split) {
  if (target.empty() || target[0] != '/' || HasControlBytes(target)) return false;
  size_t question = target.find('?');
  split.hasQuery = question != std::string::npos;
  split.path = target.substr(0, question);
  split.query = split.hasQuery ? target.substr(question + 1) : std::string();
  return true;
}

std::string DecodeQueryComponent(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 && HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

RequestFields ParseQuery(const std::string& query) {
  RequestFields fields;
  // Upper-cased before and after decoding: an escaped letter is decoded
  // lower-case.
  ForEachField(query, "&", [&fields](const std::string& name, const std::string& value) {
    fields[UpperCaseAscii(DecodeQueryComponent(name))] = DecodeQueryComponent(value);
  });
  return fields;
}
