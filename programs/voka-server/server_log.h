// voka-server's request log: one line per request on stderr.
#pragma once

#include <string>

#include "programs/voka-server/answer_builder.h"

// Writes the line at once, or while a CLogBatch lives keeps it for the
// batch's one write.
void LogLine(const std::string& line);
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
// "voka-server: out of memory, WHAT", after the lines kept; allocates nothing.
void LogOutOfMemory(const char* what) noexcept;

// The query with the value of every password field as "***": the log never
// holds a secret.
std::string MaskSecretValues(const std::string& query);

// "RETVALUE=N" and, when present, AUTHENSTATE, CHALLENGE or POSITION.
std::string AnswerSummary(const AnswerFields& answer);
