// The options of voka-auth bench, declared and read here, checked before
// anything is sent.
#pragma once

#include <cstdint>
#include <string>

#include "voka-auth/auth_options.h"
#include "voka/loadgen/load_schedule.h"

// The most of each that bench takes.
constexpr long kMostStartsASecond = 1000000;  // the schedule counts in nanoseconds
constexpr long kMostConcurrency = 1000;       // a thread each
constexpr long kMostSeconds = 86400;
constexpr long kMostLogins = 10000000;  // every login's row is kept for --csv

// Which client makes the logins: bench's own load client (one socket a worker,
// many logins in flight), or the engine, a socket a request, as a front end.
enum class BenchClient { kLoad, kEngine };

struct BenchSettings {
  LoadPlan plan;
  BenchClient client = BenchClient::kLoad;
  std::string accountsPath;  // empty: the one account of --user and --password
  std::string user;
  std::string password;
  std::string app;
  std::string area;
  std::string ekeyType;
  std::string csvPath;
};

// Declares bench's options on its command.
void AddBenchOptions(CLI::App& bench);

// The command's options as settings; false with a one-line reason for a
// value bench cannot take.
bool ReadBenchSettings(const AuthCommand& command, BenchSettings& settings, std::string& error);
