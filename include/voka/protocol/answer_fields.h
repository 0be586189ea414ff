// The NAME=value fields of a text, as requests and answers both carry them:
// one reader for the engine's answers, bench's load client and voka-server's
// requests.
#pragma once

#include <cstddef>
#include <cstring>
#include <map>
#include <string>

#include "voka/codec/ascii_case.h"

// Joins the NAME=value fields of a datagram's parameter text, and of answers.
inline constexpr char kFieldSeparator[] = "^$^";

// Calls take(name, value) for each piece of text between separators that
// holds '=': the name is the bytes before the first '=', upper-cased (a-z),
// the value the bytes after it. A piece without '=' is skipped. The caller
// decides what a repeated name means (every reader here keeps the later).
template <typename Take>
void ForEachField(const std::string& text, const char* separator, Take take) {
  const size_t separatorLength = std::strlen(separator);
  size_t start = 0;
  for (;;) {
    const size_t found = separatorLength == 0 ? std::string::npos : text.find(separator, start);
    const size_t end = found == std::string::npos ? text.size() : found;
    // Looked for within the piece alone: a text of many pieces without '='
    // must not cost a scan to the end for each.
    const void* equalsAt = std::memchr(text.data() + start, '=', end - start);
    if (equalsAt != nullptr) {
      const size_t equals = static_cast<size_t>(static_cast<const char*>(equalsAt) - text.data());
      take(UpperCaseAscii(text.substr(start, equals - start)), text.substr(equals + 1, end - equals - 1));
    }
    if (found == std::string::npos) return;
    start = found + separatorLength;
  }
}

// An answer's fields by upper-cased name.
using AnswerFieldMap = std::map<std::string, std::string>;

// The answer's length bytes as one text, its NUL separators turned into
// "^$^"; the last byte is its terminator.
std::string AnswerToText(const char* data, size_t length);
// Merges the answer's fields into fields, a repeated name keeping the later.
void MergeAnswerFields(const char* data, size_t length, AnswerFieldMap& fields);
// RETVALUE as a 32-bit integer, read as a formatted integer is read. False
// when it is absent, holds no number, or one out of range.
bool ReadVerdict(const AnswerFieldMap& fields, int* value);
