// voka-server's request log: one line per request on stderr, each with its
// time in ISO 8601, UTC.
#pragma once

#include <string>

#include "voka-server/answer_builder.h"

// A request's line, after its time: "2026-12-08T04:42:08.123Z udp ..." (UTC).
// Counted for LogSummary; under quiet only refusals and errors are written.
// Written at once, or while a CLogBatch lives kept for the batch's one write.
void LogLine(const std::string& line);
// voka-server's own line ("voka-server: ..."), timed like the requests',
// always written at once, never counted.
void LogNotice(const std::string& line);
// Requests answered RETVALUE=0 (or redirected) are then left out of the log.
void SetLogQuiet(bool quiet);
// "voka-server: stopping after N requests: A answered, R refused or dropped",
// where the answered ones are those that quiet leaves out.
std::string LogSummary();
// Writes the lines kept so far; allocates nothing.
void FlushLog() noexcept;

// Lines logged during its life go out in one write at its end (or in one of
// a few when there are many): a batch of datagrams costs one system call for
// its log, not one a request.
class CLogBatch {
 public:
  CLogBatch();
  ~CLogBatch();
  CLogBatch(const CLogBatch&) = delete;
  CLogBatch& operator=(const CLogBatch&) = delete;
};
// "voka-server: out of memory, WHAT", timed, after the lines kept; allocates nothing.
void LogOutOfMemory(const char* what) noexcept;

// The query with the value of every password field as "***": the log never
// holds a secret.
std::string MaskSecretValues(const std::string& query);

// "RETVALUE=N" and, when present, AUTHENSTATE, CHALLENGE or POSITION.
std::string AnswerSummary(const AnswerFields& answer);
