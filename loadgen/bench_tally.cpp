#include "voka/loadgen/bench_tally.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string CsvRow(std::chrono::nanoseconds due, std::chrono::nanoseconds latency, const LoginRecord& login) {
  char row[96];
  std::snprintf(row, sizeof row, "%.6f,%.3f,%s,", std::chrono::duration<double>(due).count(),
                std::chrono::duration<double, std::milli>(latency).count(), OutcomeName(login.outcome));
  return row + (login.outcome == LoginOutcome::kRefused ? std::to_string(login.retValue) : std::string()) +
         (login.overUdp ? ",udp\n" : ",http\n");
}

}  // namespace

bool IsDone(LoginOutcome outcome) { return outcome == LoginOutcome::kLoggedIn || outcome == LoginOutcome::kNeedsCard; }

CBenchTally::CBenchTally(std::ostream* rows) : m_rows(rows) {
  if (m_rows) *m_rows << "scheduled_start_s,latency_ms,outcome,retvalue,transport\n";
}

void CBenchTally::Add(std::chrono::nanoseconds due, std::chrono::nanoseconds latency, const LoginRecord& login) {
  const uint64_t nanoseconds = static_cast<uint64_t>(std::max<int64_t>(0, latency.count()));
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_outcomes[static_cast<size_t>(login.outcome)];
  if (!login.overUdp) ++m_overHttp;
  if (login.outcome == LoginOutcome::kRefused) ++m_refusedBy[login.retValue];
  if (login.cause > VOKA_CAUSE_NONE && login.cause < VOKA_CAUSE_COUNT) ++m_causes[login.cause];
  m_logins.Record(nanoseconds);
  m_recent.Record(nanoseconds);
  for (size_t slot = 0; slot < kLoginRequestKinds; ++slot) {
    if (login.made[slot]) m_requests[slot].Record(static_cast<uint64_t>(login.requestTime[slot].count()));
  }
  if (m_rows) m_keptRows += CsvRow(due, latency, login);
}

void CBenchTally::WriteRows() {
  std::string rows;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    rows.swap(m_keptRows);
  }
  if (m_rows) *m_rows << rows;
}

RecentLogins CBenchTally::TakeRecent() {
  std::lock_guard<std::mutex> lock(m_mutex);
  RecentLogins recent;
  for (size_t i = 0; i < kLoginOutcomes; ++i) {
    (IsDone(static_cast<LoginOutcome>(i)) ? recent.done : recent.failed) += m_outcomes[i];
  }
  recent.p50 = m_recent.Percentile(50);
  recent.p99 = m_recent.Percentile(99);
  m_recent.Clear();
  return recent;
}

uint64_t CBenchTally::Done() const { return Count(LoginOutcome::kLoggedIn) + Count(LoginOutcome::kNeedsCard); }

uint64_t CBenchTally::Failed() const {
  uint64_t failed = 0;
  for (size_t i = 0; i < kLoginOutcomes; ++i) {
    if (!IsDone(static_cast<LoginOutcome>(i))) failed += m_outcomes[i];
  }
  return failed;
}
