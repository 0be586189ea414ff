// Reading answers: the NUL- or "^$^"-separated NAME=value fields, and
// RETVALUE read as an integer.
#include "voka/protocol/answer_fields.h"

#include <climits>
#include <cstdint>

#include "voka/protocol/field_names.h"

namespace {

bool IsWhiteSpace(char byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r';
}

}  // namespace

std::string AnswerToText(const char* data, size_t length) {
  std::string text;
  if (data == nullptr || length == 0 || data[0] == '\0') {
    return text;
  }
  for (size_t position = 0; position < length; ++position) {
    if (data[position] != '\0') {
      text += data[position];
      // The answer's last byte is its terminator: it is dropped whenever the
      // byte before it is not a separator.
      if (position + 2 == length) {
        break;
      }
    } else if (position + 1 != length) {
      text += kFieldSeparator;
    }
  }
  return text;
}

void MergeAnswerFields(const char* data, size_t length, AnswerFieldMap& fields) {
  // The fields are taken from the text where they lie: a list of copies
  // would double the memory that an answer of many short fields costs.
  ForEachField(AnswerToText(data, length), kFieldSeparator,
               [&fields](std::string name, std::string value) { fields[std::move(name)] = std::move(value); });
}

bool ReadVerdict(const AnswerFieldMap& fields, int* value) {
  const auto found = fields.find(kFieldRetValue);
  if (found == fields.end()) {
    return false;
  }
  // Read as a formatted integer is read: leading white space, a sign, then
  // digits up to the first other byte. No number, or one that does not fit
  // 32 bits, is a failure rather than a success of 0.
  const std::string& text = found->second;
  size_t position = 0;
  while (position < text.size() && IsWhiteSpace(text[position])) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
  int64_t magnitude = 0;
  size_t digits = 0;
  for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position, ++digits) {
    magnitude = magnitude * 10 + (text[position] - '0');
    if (magnitude > limit) {
      return false;
    }
  }
  if (digits == 0) {
    return false;
  }
  *value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}
