#include "fuzz/answer_model.h"

#include "voka/codec/ascii_case.h"

namespace {

const std::string kSeparator = "^$^";

}  // namespace

std::string ModelAnswerText(const char* data, size_t length) {
  std::string text;
  if (data == nullptr || length == 0 || data[0] == '\0') return text;
  for (size_t i = 0; i < length; ++i) {
    if (data[i] != '\0') {
      text += data[i];
      if (i + 2 == length) break;
    } else if (i + 1 != length) {
      text += kSeparator;
    }
  }
  return text;
}

std::map<std::string, std::string> ModelAnswerFields(const std::string& text) {
  std::map<std::string, std::string> fields;
  size_t start = 0;
  while (true) {
    size_t end = text.find(kSeparator, start);
    std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t equals = piece.find('=');
    if (equals != std::string::npos) {
      fields[UpperCaseAscii(piece.substr(0, equals))] = piece.substr(equals + 1);
    }
    if (end == std::string::npos) break;
    start = end + kSeparator.size();
  }
  return fields;
}
