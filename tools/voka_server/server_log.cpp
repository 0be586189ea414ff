#include "tools/voka_server/server_log.h"

#include <iostream>

void LogLine(const std::string& line) {
  std::cerr << line << std::endl;
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
