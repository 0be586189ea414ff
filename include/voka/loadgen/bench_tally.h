// What voka-auth bench gathers while it runs: counts by outcome, latency
// histograms of whole logins and of each request, and a CSV row per login,
// kept as each ends and written by the thread that calls WriteRows. Worker
// threads add to it at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <string>

#include "voka/loadgen/bench_login.h"
#include "voka/loadgen/latency_histogram.h"

// The latencies of the logins since the previous look, for the progress line.
struct RecentLogins {
  uint64_t done = 0;
  uint64_t failed = 0;
  uint64_t p50 = 0;  // nanoseconds
  uint64_t p99 = 0;
};

class CBenchTally {
 public:
  // With rows, writes the CSV header there, then a row per login:
  // scheduled_start_s,latency_ms,outcome,retvalue,transport
  explicit CBenchTally(std::ostream* rows);

  // due: since the run started; latency: from when it was due.
  void Add(std::chrono::nanoseconds due, std::chrono::nanoseconds latency, const LoginRecord& login);
  // Done and failed so far; the percentiles of the logins since the last call.
  RecentLogins TakeRecent();
  // Writes the rows kept since the last call: workers never wait for the file.
  void WriteRows();

  // Read once the run is over.
  uint64_t Count(LoginOutcome outcome) const { return m_outcomes[static_cast<size_t>(outcome)]; }
  uint64_t Done() const;
  uint64_t Failed() const;
  uint64_t OverHttp() const { return m_overHttp; }
  const std::map<int, uint64_t>& RefusedBy() const { return m_refusedBy; }
  // Failed logins by the cause of their failed request.
  uint64_t CountByCause(int cause) const { return m_causes[cause]; }
  const CLatencyHistogram& Logins() const { return m_logins; }
  // By the slot of the kind in kLoginRequests.
  const CLatencyHistogram& Requests(size_t slot) const { return m_requests[slot]; }

 private:
  std::mutex m_mutex;
  std::ostream* const m_rows;
  std::string m_keptRows;
  uint64_t m_outcomes[kLoginOutcomes] = {};
  uint64_t m_overHttp = 0;
  std::map<int, uint64_t> m_refusedBy;
  uint64_t m_causes[VOKA_CAUSE_COUNT] = {};
  CLatencyHistogram m_logins;
  CLatencyHistogram m_requests[kLoginRequestKinds];
  CLatencyHistogram m_recent;
};

// Logged in, or stopped at a matrix card that bench was not given: the
// server did all it was asked.
bool IsDone(LoginOutcome outcome);
