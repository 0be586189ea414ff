#include "voka-auth/bench_report.h"

#include <cmath>
#include <cstdio>

#include "voka-auth/result_output.h"

namespace {

struct PercentileColumn {
  const char* name;
  const char* jsonKey;
  double percent;
};

const PercentileColumn kColumns[] = {
    {"p50", "p50", 50}, {"p90", "p90", 90}, {"p99", "p99", 99}, {"p99.9", "p99_9", 99.9}};

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Milliseconds(uint64_t nanoseconds) { return Format("%.3f", static_cast<double>(nanoseconds) / 1e6); }

// Figures in JSON keep the printed figures' decimals.
double Rounded(double value, double scale) { return std::round(value * scale) / scale; }

double MillisecondsNumber(uint64_t nanoseconds) { return Rounded(static_cast<double>(nanoseconds) / 1e6, 1e3); }

std::string Seconds(std::chrono::nanoseconds time) {
  return Format("%.3f", std::chrono::duration<double>(time).count());
}

double CpuMicrosecondsPerLogin(const BenchFigures& figures) {
  return figures.run.started == 0 ? 0 : figures.cpuSeconds * 1e6 / static_cast<double>(figures.run.started);
}

// The histograms by name: whole logins, then each kind of request a login made.
template <typename Visit>
void ForEachHistogram(const CBenchTally& tally, Visit visit) {
  visit("login", tally.Logins());
  for (size_t slot = 0; slot < kLoginRequestKinds; ++slot) {
    if (tally.Requests(slot).Count() != 0) visit(RowOf(kLoginRequests[slot]).name, tally.Requests(slot));
  }
}

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

}  // namespace

std::string FormatProgressLine(std::chrono::nanoseconds elapsed, uint64_t started, const RecentLogins& recent) {
  return "bench: " + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()) +
         " s, started " + std::to_string(started) + ", done " + std::to_string(recent.done) + ", failed " +
         std::to_string(recent.failed) + ", p50 " + Milliseconds(recent.p50) + " ms, p99 " + Milliseconds(recent.p99) +
         " ms\n";
}

std::string FormatBenchSummary(const BenchFigures& figures) {
  const LoadPlan& plan = figures.plan;
  const LoadOutcome& run = figures.run;
  const CBenchTally& tally = figures.tally;
  std::string out = "requested: " + std::to_string(plan.rate) + " logins a second for " +
                    std::to_string(plan.duration.count()) + " s, at most " + std::to_string(plan.concurrency) +
                    " at a time\n";
  out += "achieved: " + Format("%.1f", run.AchievedRate()) + " logins a second over " + Seconds(run.startingTime) +
         " s" + (run.interrupted ? " (interrupted)" : "") + "\n";
  if (run.late != 0 || run.notStarted != 0) {
    out += "behind schedule: " + std::to_string(run.late) + " started over 1 ms late, " +
           std::to_string(run.notStarted) + " never started (" + std::to_string(plan.concurrency) +
           " at a time all in flight, or a busy machine)\n";
  }
  out += "logins: started " + std::to_string(run.started) + ", done " + std::to_string(tally.Done()) + " (" +
         std::to_string(tally.Count(LoginOutcome::kNeedsCard)) + " need a card), failed " +
         std::to_string(tally.Failed()) + "\n";
  out += "failures: no answer " + std::to_string(tally.Count(LoginOutcome::kNoAnswer)) + ", refused " +
         std::to_string(tally.Count(LoginOutcome::kRefused)) + ", malformed answer " +
         std::to_string(tally.Count(LoginOutcome::kMalformedAnswer)) + ", local error " +
         std::to_string(tally.Count(LoginOutcome::kLocalError)) + "\n";
  for (const auto& [retValue, count] : tally.RefusedBy()) {
    out += "  refused with RETVALUE " + std::to_string(retValue) + ": " + std::to_string(count) + "\n";
  }
  for (int cause = VOKA_CAUSE_NONE + 1; cause < VOKA_CAUSE_COUNT; ++cause) {
    if (tally.CountByCause(cause) == 0) continue;
    out += std::string("  ") + FailureCauseName(cause) + ": " + std::to_string(tally.CountByCause(cause)) + " (" +
           FailureCauseText(cause) + ")\n";
  }
  if (tally.OverHttp() != 0) {
    out += "over HTTP after the dynamic key failed over UDP: " + std::to_string(tally.OverHttp()) + "\n";
  }
  out += "latency (ms)         count";
  for (const PercentileColumn& column : kColumns) out += Padded(column.name, 10);
  out += Padded("max", 10) + "\n";
  ForEachHistogram(tally, [&out](const std::string& name, const CLatencyHistogram& histogram) {
    std::string line = "  " + name;
    line.resize(14, ' ');
    line += Padded(std::to_string(histogram.Count()), 11);
    for (const PercentileColumn& column : kColumns)
      line += Padded(Milliseconds(histogram.Percentile(column.percent)), 10);
    out += line + Padded(Milliseconds(histogram.Max()), 10) + "\n";
  });
  out += "voka-auth's own CPU time: " + Format("%.1f", CpuMicrosecondsPerLogin(figures)) + " us a login\n";
  return out;
}

std::string FormatBenchJson(const BenchFigures& figures) {
  const LoadPlan& plan = figures.plan;
  const LoadOutcome& run = figures.run;
  const CBenchTally& tally = figures.tally;
  JsonObject refusedBy = JsonObject::object();
  for (const auto& [retValue, count] : tally.RefusedBy()) refusedBy[std::to_string(retValue)] = count;
  JsonObject byCause = JsonObject::object();
  for (int cause = VOKA_CAUSE_NONE + 1; cause < VOKA_CAUSE_COUNT; ++cause) {
    if (tally.CountByCause(cause) != 0) byCause[FailureCauseName(cause)] = tally.CountByCause(cause);
  }
  JsonObject latency = JsonObject::object();
  ForEachHistogram(tally, [&latency](const std::string& name, const CLatencyHistogram& histogram) {
    JsonObject row = {{"count", histogram.Count()}};
    for (const PercentileColumn& column : kColumns) {
      row[column.jsonKey] = MillisecondsNumber(histogram.Percentile(column.percent));
    }
    row["max"] = MillisecondsNumber(histogram.Max());
    latency[name] = row;
  });
  return FormatJsonObject({{"command", "bench"},
                           {"requested_rate", plan.rate},
                           {"achieved_rate", Rounded(run.AchievedRate(), 1e3)},
                           {"duration_s", plan.duration.count()},
                           {"concurrency", plan.concurrency},
                           {"starting_time_s", Rounded(std::chrono::duration<double>(run.startingTime).count(), 1e3)},
                           {"interrupted", run.interrupted},
                           {"started", run.started},
                           {"late", run.late},
                           {"not_started", run.notStarted},
                           {"done", tally.Done()},
                           {"needs_card", tally.Count(LoginOutcome::kNeedsCard)},
                           {"failed", tally.Failed()},
                           {"failures",
                            {{"no_answer", tally.Count(LoginOutcome::kNoAnswer)},
                             {"refused", tally.Count(LoginOutcome::kRefused)},
                             {"malformed_answer", tally.Count(LoginOutcome::kMalformedAnswer)},
                             {"local_error", tally.Count(LoginOutcome::kLocalError)}}},
                           {"refused_by_retvalue", refusedBy},
                           {"failures_by_cause", byCause},
                           {"over_http", tally.OverHttp()},
                           {"latency_ms", latency},
                           {"cpu_us_per_login", Rounded(CpuMicrosecondsPerLogin(figures), 10)}});
}
