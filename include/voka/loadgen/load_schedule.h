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
#include <mutex>

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

// The schedule's side of one run, shared by its workers: each claims the next
// piece, waits until it is due, and starts it.
class CLoadSchedule {
 public:
  CLoadSchedule(const LoadPlan& plan, const std::atomic<bool>& stop);

  // The next piece and when it is due; false when starting is over.
  bool Claim(uint64_t& index, BenchClock::time_point& due);
  // Starts a claimed piece once it is due; false when starting ended before
  // (the stop flag, the end of the duration): no piece starts after that.
  bool Start(BenchClock::time_point due);
  // Whether the stop flag is set, which ends starting as of now.
  bool Stopping();
  BenchClock::time_point StartTime() const { return m_start; }
  LoadOutcome Outcome() const;

 private:
  BenchClock::time_point Due(uint64_t index) const;
  // Starting is over: the first worker to see it sets when.
  bool Finish(BenchClock::time_point when);

  const LoadPlan m_plan;
  const std::atomic<bool>& m_stop;
  const BenchClock::time_point m_start;
  const BenchClock::time_point m_end;
  std::atomic<uint64_t> m_next{0};
  std::atomic<uint64_t> m_started{0};
  std::atomic<uint64_t> m_late{0};
  std::mutex m_mutex;
  bool m_finished = false;
  BenchClock::time_point m_stoppedAt;
};

// Runs work(index, due, dueSinceStart) on plan.concurrency threads, the piece
// of index i due at the start plus i / plan.rate. Starting stops when the duration is over,
// after plan.maxStarts pieces, or once stop is set; pieces under way finish.
// Meanwhile the calling thread runs everySecond(elapsed) once a second.
LoadOutcome RunOpenLoop(
    const LoadPlan& plan, const std::atomic<bool>& stop,
    const std::function<void(uint64_t index, BenchClock::time_point due, std::chrono::nanoseconds dueSinceStart)>& work,
    const std::function<void(std::chrono::nanoseconds elapsed)>& everySecond);

// Runs worker(schedule) on threads threads, each claiming and starting pieces
// itself and keeping as many in flight as it likes, until starting is over
// and the worker returns. Meanwhile the calling thread runs
// everySecond(elapsed) once a second.
LoadOutcome RunScheduleWorkers(const LoadPlan& plan, int threads, const std::atomic<bool>& stop,
                               const std::function<void(CLoadSchedule& schedule)>& worker,
                               const std::function<void(std::chrono::nanoseconds elapsed)>& everySecond);
