#include "voka-server/server_log.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "voka-server/http_request.h"
#include "voka/codec/ascii_case.h"
#include "voka/protocol/answer_codes.h"
#include "voka/protocol/field_names.h"
#include "voka/protocol/request_kinds.h"

namespace {

// Past this the lines are written at once: a flood cannot grow the buffer.
constexpr size_t kFlushSize = 64 * 1024;

std::string& PendingLines() {
  static std::string pending;
  return pending;
}

int g_openBatches = 0;
bool g_quiet = false;
unsigned long long g_answered = 0;
unsigned long long g_refusedOrDropped = 0;

// An answer of RETVALUE 0 or a redirect, which the last " -> " of a request's
// line introduces (a user id before it may hold anything).
bool IsRoutineAnswer(const std::string& line) {
  const size_t arrow = line.rfind(" -> ");
  if (arrow == std::string::npos) return false;
  const std::string answer = line.substr(arrow + 4);
  const std::string success = std::string(kFieldRetValue) + "=" + std::to_string(kRetSuccess);
  const size_t length = success.size();
  return answer.compare(0, 4, "302 ") == 0 ||
         (answer.compare(0, length, success) == 0 && (answer.size() == length || answer[length] == ' '));
}

// "2026-12-08T04:42:08.123Z" into text; allocates nothing.
void FormatUtcTime(char (&text)[32]) noexcept {
  const auto now = std::chrono::system_clock::now();
  const time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  tm utc = {};
  gmtime_r(&seconds, &utc);
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(milliseconds));
}

void KeepTimed(const std::string& line) {
  char stamp[32];
  FormatUtcTime(stamp);
  std::string& pending = PendingLines();
  pending += stamp;
  pending += ' ';
  pending += line;
  pending += '\n';
  if (g_openBatches == 0 || pending.size() >= kFlushSize) FlushLog();
}

}  // namespace

void LogLine(const std::string& line) {
  const bool routine = IsRoutineAnswer(line);
  ++(routine ? g_answered : g_refusedOrDropped);
  if (!routine || !g_quiet) KeepTimed(line);
}

void LogNotice(const std::string& line) {
  KeepTimed(line);
  FlushLog();
}

void SetLogQuiet(bool quiet) { g_quiet = quiet; }

std::string LogSummary() {
  return "voka-server: stopping after " + std::to_string(g_answered + g_refusedOrDropped) +
         " requests: " + std::to_string(g_answered) + " answered, " + std::to_string(g_refusedOrDropped) +
         " refused or dropped";
}

CLogBatch::CLogBatch() { ++g_openBatches; }

CLogBatch::~CLogBatch() {
  if (--g_openBatches == 0) FlushLog();
}

void FlushLog() noexcept {
  std::string& pending = PendingLines();
  size_t written = 0;
  while (written < pending.size()) {
    const ssize_t done = write(STDERR_FILENO, pending.data() + written, pending.size() - written);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) break;  // stderr is gone: the lines are dropped, the service goes on
    written += static_cast<size_t>(done);
  }
  pending.clear();
}

void LogOutOfMemory(const char* what) noexcept {
  FlushLog();
  char stamp[32];
  FormatUtcTime(stamp);
  std::fprintf(stderr, "%s voka-server: out of memory, %s\n", stamp, what);
}

std::string AnswerSummary(const AnswerFields& answer) {
  std::string summary;
  for (const char* name : {kFieldRetValue, kFieldAuthenState, kFieldChallenge, kFieldPosition}) {
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
    const std::string name = UpperCaseAscii(DecodeQueryComponent(piece.substr(0, equals)));
    masked += equals != std::string::npos && IsSecretField(name) ? piece.substr(0, equals) + "=***" : piece;
    if (end < query.size()) masked += '&';
    start = end + 1;
  }
  return masked;
}
