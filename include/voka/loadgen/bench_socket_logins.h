// voka-auth bench's own load client: the logins of bench_login.h over UDP,
// the engine's requests, sealing and answer reading, but many logins in
// flight on one socket a worker thread instead of the engine's socket a
// request. What a front end's engine pays for every request, a load
// generator need not pay for every login.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "voka/loadgen/bench_login.h"
#include "voka/loadgen/load_schedule.h"

// Called on a worker thread as each login ends.
using LoginDone = std::function<void(uint64_t index, BenchClock::time_point due, std::chrono::nanoseconds dueSinceStart,
                                     const LoginRecord& login)>;

// Runs plan.concurrency logins at most in flight, on a worker thread for each
// few dozen (at most one a core), login i with accounts[i % size]. A
// dynamic key without an answer fails the login as no answer: unlike the
// engine, this client never turns to HTTP. Meanwhile the calling thread runs
// everySecond(elapsed) once a second. started counts the logins as they start.
LoadOutcome RunSocketLogins(const LoadPlan& plan, const std::atomic<bool>& stop, const BenchTarget& target,
                            const std::vector<BenchAccount>& accounts, std::atomic<uint64_t>& started,
                            const LoginDone& done,
                            const std::function<void(std::chrono::nanoseconds elapsed)>& everySecond);
