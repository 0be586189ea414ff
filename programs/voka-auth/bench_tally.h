// What voka-auth bench gathers while it runs: counts by outcome, latency
// histograms of whole logins and of each request, and one row per login.
// Worker threads add to it at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "programs/voka-auth/bench_login.h"
#include "programs/voka-auth/latency_histogram.h"

struct LoginRow {
  std::chrono::nanoseconds due;      // since the run started
  std::chrono::nanoseconds latency;  // from when it was due
  LoginOutcome outcome;
  int retValue;
  bool overUdp;
};

// The latencies of the logins since the previous look, for the progress line.
struct RecentLogins {
  uint64_t done = 0;
  uint64_t failed = 0;
  uint64_t p50 = 0;  // nanoseconds
  uint64_t p99 = 0;
};

class CBenchTally {
 public:
  explicit CBenchTally(bool keepRows) : m_keepRows(keepRows) {}

  void Add(std::chrono::nanoseconds due, std::chrono::nanoseconds latency, const LoginRecord& login);
  // Done and failed so far; the percentiles of the logins since the last call.
  RecentLogins TakeRecent();

  // Read once the run is over.
  uint64_t Count(LoginOutcome outcome) const { return m_outcomes[static_cast<size_t>(outcome)]; }
  uint64_t Done() const;
  uint64_t Failed() const;
  uint64_t OverHttp() const { return m_overHttp; }
  const std::map<int, uint64_t>& RefusedBy() const { return m_refusedBy; }
  const CLatencyHistogram& Logins() const { return m_logins; }
  // By the slot of the kind in kLoginRequests.
  const CLatencyHistogram& Requests(size_t slot) const { return m_requests[slot]; }
  // In the order the logins were due.
  std::vector<LoginRow> RowsInOrder() const;

 private:
  mutable std::mutex m_mutex;
  const bool m_keepRows;
  uint64_t m_outcomes[kLoginOutcomes] = {};
  uint64_t m_overHttp = 0;
  std::map<int, uint64_t> m_refusedBy;
  CLatencyHistogram m_logins;
  CLatencyHistogram m_requests[kLoginRequestKinds];
  CLatencyHistogram m_recent;
  std::vector<LoginRow> m_rows;
};

// Logged in, or stopped at a matrix card that bench was not given: the
// server did all it was asked.
bool IsDone(LoginOutcome outcome);
