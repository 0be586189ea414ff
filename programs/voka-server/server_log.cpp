#include "programs/voka-server/server_log.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "codec/ascii_case.h"
#include "programs/voka-server/http_request.h"
#include "protocol/request_kinds.h"

namespace {

// Past this the lines are written at once: a flood cannot grow the buffer.
constexpr size_t kFlushSize = 64 * 1024;

std::string& PendingLines() {
  static std::string pending;
  return pending;
}

int g_openBatches = 0;

}  // namespace

void LogLine(const std::string& line) {
  std::string& pending = PendingLines();
  pending += line;
  pending += '\n';
  if (g_openBatches == 0 || pending.size() >= kFlushSize) FlushLog();
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
  std::fprintf(stderr, "voka-server: out of memory, %s\n", what);
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
