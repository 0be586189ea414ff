#include "voka-auth/bench_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>

#include "voka/codec/decimal_integer.h"
#include "voka/protocol/field_names.h"

namespace {

// bench's whole-number options, from least to most.
struct BenchNumber {
  const char* option;
  const char* valueName;
  const char* description;
  long least;
  long most;
  const char* fallback;  // nullptr: must be given; "": worked out when not given
};

enum NumberSlot : size_t { kRate, kDuration, kWarmUp, kConcurrency, kMaxLogins };

constexpr BenchNumber kNumbers[] = {
    {"rate", "N", "logins started a second", 1, kMostStartsASecond, nullptr},
    {"duration", "SECONDS", "how long logins are started and counted", 1, kMostSeconds, nullptr},
    {"warm-up", "SECONDS", "how long logins are started before, and left out of every figure", 0, kMostSeconds, "0"},
    {"concurrency", "C", "logins in flight at most (default: those started within three UDP time-outs, at most 1000)",
     1, kMostConcurrency, ""},
    {"max-logins", "N", "logins started at most, those of the warm-up among them", 1, kMostLogins, "10000000"},
};

bool ReadNumber(const AuthCommand& command, const BenchNumber& number, long& value, std::string& error) {
  const std::string text = command.Option(number.option);
  if (ParseInteger(text, number.least, number.most, value)) return true;
  error = "bad value '" + text + "' for --" + number.option + " (a whole number from " + std::to_string(number.least) +
          " to " + std::to_string(number.most) + ")";
  return false;
}

// A number above 0 written in decimal, such as 250 or 0.5.
bool ParsePositive(const std::string& text, double& value) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0' && value > 0 && value < 1e9;
}

bool ReadThresholds(const AuthCommand& command, BenchThresholds& thresholds, std::string& error) {
  const std::string p99 = command.Option("max-p99");
  if (!p99.empty() && !ParsePositive(p99, thresholds.maxP99Ms)) {
    error = "bad value '" + p99 + "' for --max-p99 (milliseconds above 0)";
    return false;
  }
  std::string failures = command.Option("max-failures");
  if (failures.empty()) return true;
  thresholds.limitsFailures = true;
  thresholds.failuresAsShare = failures.back() == '%';
  if (thresholds.failuresAsShare) failures.pop_back();
  long count = 0;
  const bool read = thresholds.failuresAsShare
                        ? ParsePositive(failures, thresholds.maxFailures) && thresholds.maxFailures <= 100
                        : ParseInteger(failures, 0, kMostLogins, count);
  if (!thresholds.failuresAsShare) thresholds.maxFailures = static_cast<double>(count);
  if (!read) error = "bad value '" + command.Option("max-failures") + "' for --max-failures (N logins or P%)";
  return read;
}

}  // namespace

void AddBenchOptions(CLI::App& bench) {
  for (const BenchNumber& number : kNumbers) {
    CLI::Option* option = bench.add_option(std::string("--") + number.option)
                              ->description(number.description)
                              ->type_name(number.valueName)
                              ->check(CLI::Range(number.least, number.most));
    if (number.fallback == nullptr) option->required();
    if (number.fallback != nullptr && *number.fallback != '\0') option->default_str(number.fallback);
  }
  bench.add_option("--max-p99", "fail the run when the logins' 99th percentile is longer")->type_name("MS");
  bench
      .add_option("--max-failures",
                  "fail the run when more logins failed than N, or than P% of those started; without it one "
                  "failure fails the run")
      ->type_name("N|P%");
  bench.add_option("--accounts", "log in with each account of this voka-server account file in turn")
      ->type_name("FILE");
  for (const char* field : {kFieldUserId, kFieldPassword, kFieldAppId, kFieldAreaId, kFieldEKeyType}) {
    AddFieldOption(bench, field, false);
  }
  bench.add_option("--csv", "write one row per login to this file")->type_name("FILE");
  bench
      .add_option("--client",
                  "engine: log in with the engine, a socket a request, as a front end does; load (the default): "
                  "many logins in flight on one socket a thread")
      ->type_name("load|engine")
      ->check(CLI::IsMember({"load", "engine"}));
}

int DefaultConcurrency(long rate, int timeoutSeconds) {
  const int64_t longestLogin = 3 * static_cast<int64_t>(std::max(1, timeoutSeconds));
  return static_cast<int>(std::min<int64_t>(kMostConcurrency, rate * longestLogin));
}

bool ReadBenchSettings(const AuthCommand& command, int timeoutSeconds, BenchSettings& settings, std::string& error) {
  const auto given = [&command](const char* name) { return command.options.count(name) != 0; };
  long values[std::size(kNumbers)] = {};
  for (size_t i = 0; i < std::size(kNumbers); ++i) {
    if (i == kConcurrency && !given(kNumbers[i].option)) continue;
    if (!ReadNumber(command, kNumbers[i], values[i], error)) return false;
  }
  if (!ReadThresholds(command, settings.thresholds, error)) return false;
  if (!given(kNumbers[kConcurrency].option)) values[kConcurrency] = DefaultConcurrency(values[kRate], timeoutSeconds);
  if (given("accounts") ? given("user") || given("password") : !(given("user") && given("password"))) {
    error = "needs either --accounts FILE or --user ID and --password PWD";
    return false;
  }
  settings.client = command.Option("client") == "engine" ? BenchClient::kEngine : BenchClient::kLoad;
  settings.plan.rate = values[kRate];
  settings.plan.duration = std::chrono::seconds(values[kDuration]);
  settings.plan.warmUp = std::chrono::seconds(values[kWarmUp]);
  settings.plan.concurrency = static_cast<int>(values[kConcurrency]);
  settings.plan.maxStarts = static_cast<uint64_t>(values[kMaxLogins]);
  settings.accountsPath = command.Option("accounts");
  settings.user = command.Option("user");
  settings.password = command.Option("password");
  settings.app = command.Option("app");
  settings.area = command.Option("area");
  settings.ekeyType = command.Option("ekey-type");
  settings.csvPath = command.Option("csv");
  return true;
}
