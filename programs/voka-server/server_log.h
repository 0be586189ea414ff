// voka-server's request log: one line per request on stderr.
#pragma once

#include <string>

#include "programs/voka-server/answer_builder.h"

void LogLine(const std::string& line);
// "voka-server: out of memory, WHAT"; allocates nothing.
void LogOutOfMemory(const char* what) noexcept;

// The query with the value of every password field as "***": the log never
// holds a secret.
std::string MaskSecretValues(const std::string& query);

// "RETVALUE=N" and, when present, AUTHENSTATE, CHALLENGE or POSITION.
std::string AnswerSummary(const AnswerFields& answer);
