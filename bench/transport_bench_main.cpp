// Runs the transport benchmarks, then prints each one against its baseline.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        m_nanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio(const char* what, const std::string& measured, const std::string& baseline, double goal) const {
    auto m = m_nanoseconds.find(measured);
    auto b = m_nanoseconds.find(baseline);
    if (m == m_nanoseconds.end() || b == m_nanoseconds.end() || b->second <= 0) return;
    double ratio = m->second / b->second;
    std::printf("%-44s %6.2fx", what, ratio);
    if (goal > 0) std::printf("  (goal %.1fx: %s)", goal, ratio <= goal ? "met" : "missed");
    std::printf("\n");
  }

 private:
  std::map<std::string, double> m_nanoseconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.PrintRatio("UDP exchange / raw round trip", "udp/exchange", "udp/raw_round_trip", 1.5);
  reporter.PrintRatio("UDP exchange, log to /dev/null / raw", "udp/exchange_log_to_dev_null", "udp/raw_round_trip", 0);
  reporter.PrintRatio("HttpGet / bare libcurl", "http/http_get", "http/bare_libcurl", 1.2);
  benchmark::Shutdown();
  return 0;
}
