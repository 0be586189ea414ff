#include "programs/voka-server/server_log.h"

#include <cstdio>
#include <iostream>

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
