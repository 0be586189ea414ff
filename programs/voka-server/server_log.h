// voka-server's request log: one line per request on stderr, each with its
// time in ISO 8601, UTC.
#pragma once

#include <string>

#include "programs/voka-server/answer_builder.h"

// A request's line, after its time: "2026-12-08T04:42:08.123Z udp ..." (UTC).
// Counted for LogSummary; under quiet only refusals and errors are written.
void LogLine(const std::string& line);
// voka-server's own line ("voka-server: ..."), timed like the requests',
// always written, never counted.
void LogNotice(const std::string& line);
// Requests answered RETVALUE=0 (or redirected) are then left out of the log.
void SetLogQuiet(bool quiet);
// "voka-server: stopping after N requests: A answered, R refused or dropped",
// where the answered ones are those that quiet leaves out.
std::string LogSummary();
// "voka-server: out of memory, WHAT"; allocates nothing.
void LogOutOfMemory(const char* what) noexcept;

// "RETVALUE=N" and, when present, AUTHENSTATE, CHALLENGE or POSITION.
std::string AnswerSummary(const AnswerFields& answer);
