// What voka-auth bench prints: the progress line and the summary, human or
// one JSON object.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "voka-auth/bench_options.h"
#include "voka/loadgen/bench_tally.h"
#include "voka/loadgen/load_schedule.h"

struct BenchFigures {
  const LoadPlan& plan;
  const BenchThresholds& thresholds;
  const LoadOutcome& run;
  const CBenchTally& tally;
  double cpuSeconds;  // voka-auth's own, user and system
};

// "bench: 3 s, started 300, done 298, failed 0, p50 0.412 ms, p99 1.250 ms" and
// its line end; the percentiles are of the logins of the last second.
std::string FormatProgressLine(std::chrono::nanoseconds elapsed, uint64_t started, const RecentLogins& recent);

// One line per threshold the figures went past, such as
// "p99 12.500 ms is over --max-p99 10 ms"; empty when none.
std::vector<std::string> CrossedThresholds(const BenchFigures& figures);

std::string FormatBenchSummary(const BenchFigures& figures);
std::string FormatBenchJson(const BenchFigures& figures);
