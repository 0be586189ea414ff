#include "programs/voka-server/server_log.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>

#include "programs/voka-server/http_request.h"
#include "transport/request_kinds.h"

// One write a line: std::endl would add a second system call for its '\n'.
void LogLine(const std::string& line) { std::cerr << line + '\n' << std::flush; }

void LogOutOfMemory(const char* what) noexcept { std::fprintf(stderr, "voka-server: out of memory, %s\n", what); }

std::string AnswerSummary(const AnswerFields& answer) {
  std::string summary;
  for (const char* name : {"RETVALUE", "AUTHENSTATE", "CHALLENGE", "POSITION"}) {
    for (const auto& field : answer) {
      if (field.first == name) summary += (summary.empty() ? "" : " ") + field.first + "=" + field.second;
    }
  }
  return summary;
}

std::string MaskSecretValues(const std::string& query) {
  std::string masked;
  for (size_t start = 0; start <= query.size();) {
    const size_t end = std::min(query.find('&', start), query.size());
    const std::string piece = query.substr(start, end - start);
    const size_t equals = piece.find('=');
    std::string name = DecodeQueryComponent(piece.substr(0, equals));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    masked += equals != std::string::npos && IsSecretField(name) ? piece.substr(0, equals) + "=***" : piece;
    if (end < query.size()) masked += '&';
    start = end + 1;
  }
  return masked;
}
