// voka-server's request log: one line per request on stderr.
#pragma once

#include <string>

#include "tools/voka_server/answer_builder.h"

void LogLine(const std::string& line);

// "RETVALUE=N" and, when present, AUTHENSTATE, CHALLENGE or POSITION.
std::string AnswerSummary(const AnswerFields& answer);
