// What voka-auth bench prints: the progress line and the summary, human or
// one JSON object.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "voka/loadgen/bench_tally.h"
#include "voka/loadgen/load_schedule.h"

struct BenchFigures {
  const LoadPlan& plan;
  const LoadOutcome& run;
  const CBenchTally& tally;
  double cpuSeconds;  // voka-auth's own, user and system
};

// "bench: 3 s, started 300, done 298, failed 0, p50 0.412 ms, p99 1.250 ms" and
// its line end; the percentiles are of the logins of the last second.
std::string FormatProgressLine(std::chrono::nanoseconds elapsed, uint64_t started, const RecentLogins& recent);

std::string FormatBenchSummary(const BenchFigures& figures);
std::string FormatBenchJson(const BenchFigures& figures);
