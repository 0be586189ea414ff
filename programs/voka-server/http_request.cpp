#include "programs/voka-server/http_request.h"

#include "codec/hex_digit.h"

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
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    std::string piece = query.substr(start, end - start);
    size_t equals = piece.find('=');
    if (equals != std::string::npos) {
      std::string name = DecodeQueryComponent(piece.substr(0, equals));
      for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      fields[name] = DecodeQueryComponent(piece.substr(equals + 1));
    }
    start = end + 1;
  }
  return fields;
}
