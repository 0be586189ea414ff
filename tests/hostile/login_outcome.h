#pragma once
// Runs one engine call against a hostile peer and records what the host
// would see: the return code, the result map and how long the call blocked.

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "protocol/engine_messages.h"
#include "voka/client_authen.h"

struct LoginOutcome {
  int result = 0;
  std::map<std::string, std::string> fields;
  double seconds = 0;
};

inline LoginOutcome Measure(CClientAuthen& engine, const std::function<int()>& call) {
  auto start = std::chrono::steady_clock::now();
  LoginOutcome outcome;
  outcome.result = call();
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.fields = engine.Results();
  return outcome;
}

inline LoginOutcome StaticLogin(CClientAuthen& engine) {
  return Measure(engine, [&engine] { return engine.StaticAuthen("alice", "secret", "app", "area", "", "hostile"); });
}

// What the map holds after an exchange failed and nothing was parsed.
inline std::map<std::string, std::string> NetworkErrorOnly() { return {{"DESCMSG", kNetworkErrorMessage}}; }
