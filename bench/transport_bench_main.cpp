// Runs the transport benchmarks, then prints each one against its baseline.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // With --benchmark_repetitions the median stands for the benchmark.
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        m_medians.insert(name);
        m_times[name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      } else if (run.run_type == Run::RT_Iteration && m_medians.count(name) == 0) {
        m_times[name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio(const char* what, const std::string& measured, const std::string& baseline, double goal) const {
    auto m = m_times.find(measured);
    auto b = m_times.find(baseline);
    if (m == m_times.end() || b == m_times.end() || b->second.real <= 0 || b->second.cpu <= 0) return;
    double ratio = m->second.real / b->second.real;
    std::printf("%-40s %6.2fx wall, %6.2fx CPU", what, ratio, m->second.cpu / b->second.cpu);
    if (goal > 0) std::printf("  (goal %.1fx wall: %s)", goal, ratio <= goal ? "met" : "missed");
    std::printf("\n");
  }

 private:
  struct Times {
    double real;
    double cpu;  // of the benchmark's thread only
  };
  std::map<std::string, Times> m_times;
  std::set<std::string> m_medians;
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
