#include "programs/voka-auth/bench_options.h"

#include "codec/decimal_integer.h"

namespace {

bool ReadNumber(const AuthCommand& command, const char* name, long low, long high, long& value, std::string& error) {
  const std::string text = command.Option(name);
  if (ParseInteger(text, low, high, value)) return true;
  error = "bad value '" + text + "' for --" + name + " (a whole number from " + std::to_string(low) + " to " +
          std::to_string(high) + ")";
  return false;
}

}  // namespace

bool ReadBenchSettings(const AuthCommand& command, BenchSettings& settings, std::string& error) {
  const auto given = [&command](const char* name) { return command.options.count(name) != 0; };
  long rate = 0, seconds = 0, concurrency = 1, logins = kMostLogins;
  if (!ReadNumber(command, "rate", 1, kMostStartsASecond, rate, error) ||
      !ReadNumber(command, "duration", 1, kMostSeconds, seconds, error) ||
      (given("concurrency") && !ReadNumber(command, "concurrency", 1, kMostConcurrency, concurrency, error)) ||
      (given("max-logins") && !ReadNumber(command, "max-logins", 1, kMostLogins, logins, error))) {
    return false;
  }
  if (given("client") && command.Option("client") != "load" && command.Option("client") != "engine") {
    error = "bad value '" + command.Option("client") + "' for --client (load or engine)";
    return false;
  }
  if (given("accounts") ? given("user") || given("password") : !(given("user") && given("password"))) {
    error = "needs either --accounts FILE or --user ID and --password PWD";
    return false;
  }
  settings.client = command.Option("client") == "engine" ? BenchClient::kEngine : BenchClient::kLoad;
  settings.plan.rate = rate;
  settings.plan.duration = std::chrono::seconds(seconds);
  settings.plan.concurrency = static_cast<int>(concurrency);
  settings.plan.maxStarts = static_cast<uint64_t>(logins);
  settings.accountsPath = command.Option("accounts");
  settings.user = command.Option("user");
  settings.password = command.Option("password");
  if (given("app")) settings.app = command.Option("app");
  if (given("area")) settings.area = command.Option("area");
  settings.ekeyType = command.Option("ekey-type");
  settings.csvPath = command.Option("csv");
  return true;
}
