// The open-loop schedule of voka-auth bench: the i-th piece of work is due
// i / rate seconds after the start, whatever happened to the ones before, and
// its latency counts from then. A pool of worker threads takes the pieces in
// order; when every worker is busy the next piece starts late, and the delay
// shows in its latency instead of vanishing from the figures.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

using BenchClock = std::chrono::steady_clock;

struct LoadPlan {
  long rate = 1;  // starts a second
  std::chrono::seconds duration{1};
  int concurrency = 1;  // worker threads
  uint64_t maxStarts = 1;
};

// A piece of work that started later than this after it was due counts as late.
constexpr std::chrono::milliseconds kLateStart{1};

struct LoadOutcome {
  uint64_t started = 0;
  uint64_t late = 0;                         // started more than kLateStart after it was due
  uint64_t notStarted = 0;                   // due before starting stopped, never started: every worker was busy
  std::chrono::nanoseconds startingTime{0};  // from the first due time until starting stopped
  bool interrupted = false;

  double AchievedRate() const;
};

// Runs work(index, due, dueSinceStart) on plan.concurrency threads, the piece
// of index i due at the start plus i / plan.rate. Starting stops when the duration is over,
// after plan.maxStarts pieces, or once stop is set; pieces under way finish.
// Meanwhile the calling thread runs everySecond(elapsed) once a second.
LoadOutcome RunOpenLoop(
    const LoadPlan& plan, const std::atomic<bool>& stop,
    const std::function<void(uint64_t index, BenchClock::time_point due, std::chrono::nanoseconds dueSinceStart)>& work,
    const std::function<void(std::chrono::nanoseconds elapsed)>& everySecond);
