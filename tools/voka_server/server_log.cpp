#include "tools/voka_server/server_log.h"

#include <cstdio>
#include <iostream>

void LogLine(const std::string& line) {
  std::cerr << line << std::endl;
}

std::string LogSafe(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string AnswerSummary(const AnswerFields& answer) {
  std::string summary;
  for (const char* name : {"RETVALUE", "AUTHENSTATE", "CHALLENGE", "POSITION"}) {
    for (const auto& field : answer) {
      if (field.first == name) summary += (summary.empty() ? "" : " ") + field.first + "=" + field.second;
    }
  }
  return summary;
}
