#include "voka-auth/bench_options.h"

#include <CLI/CLI.hpp>

#include "voka/codec/decimal_integer.h"
#include "voka/protocol/field_names.h"

namespace {

// bench's whole-number options, from 1 to their most; those without a
// default must be given.
struct BenchNumber {
  const char* option;
  const char* valueName;
  const char* description;
  long most;
  long fallback;  // 0: none
};

constexpr BenchNumber kNumbers[] = {
    {"rate", "N", "logins started a second", kMostStartsASecond, 0},
    {"duration", "SECONDS", "how long logins are started", kMostSeconds, 0},
    {"concurrency", "C", "logins in flight at most", kMostConcurrency, 1},
    {"max-logins", "N", "logins started at most", kMostLogins, kMostLogins},
};

bool ReadNumber(const AuthCommand& command, const BenchNumber& number, long& value, std::string& error) {
  const std::string text = command.Option(number.option);
  if (ParseInteger(text, 1, number.most, value)) return true;
  error = "bad value '" + text + "' for --" + number.option + " (a whole number from 1 to " +
          std::to_string(number.most) + ")";
  return false;
}

}  // namespace

void AddBenchOptions(CLI::App& bench) {
  for (const BenchNumber& number : kNumbers) {
    CLI::Option* option = bench.add_option(std::string("--") + number.option)
                              ->description(number.description)
                              ->type_name(number.valueName)
                              ->check(CLI::Range(1L, number.most));
    if (number.fallback == 0) option->required();
    if (number.fallback != 0) option->default_str(std::to_string(number.fallback));
  }
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

bool ReadBenchSettings(const AuthCommand& command, BenchSettings& settings, std::string& error) {
  const auto given = [&command](const char* name) { return command.options.count(name) != 0; };
  long values[std::size(kNumbers)] = {};
  for (size_t i = 0; i < std::size(kNumbers); ++i) {
    if (!ReadNumber(command, kNumbers[i], values[i], error)) return false;
  }
  if (given("accounts") ? given("user") || given("password") : !(given("user") && given("password"))) {
    error = "needs either --accounts FILE or --user ID and --password PWD";
    return false;
  }
  settings.client = command.Option("client") == "engine" ? BenchClient::kEngine : BenchClient::kLoad;
  settings.plan.rate = values[0];
  settings.plan.duration = std::chrono::seconds(values[1]);
  settings.plan.concurrency = static_cast<int>(values[2]);
  settings.plan.maxStarts = static_cast<uint64_t>(values[3]);
  settings.accountsPath = command.Option("accounts");
  settings.user = command.Option("user");
  settings.password = command.Option("password");
  settings.app = command.Option("app");
  settings.area = command.Option("area");
  settings.ekeyType = command.Option("ekey-type");
  settings.csvPath = command.Option("csv");
  return true;
}
