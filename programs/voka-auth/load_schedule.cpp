#include "programs/voka-auth/load_schedule.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The longest sleep between two looks at the stop flag.
constexpr std::chrono::milliseconds kStopPoll{20};

class COpenLoop {
 public:
  COpenLoop(const LoadPlan& plan, const std::atomic<bool>& stop)
      : m_plan(plan), m_stop(stop), m_start(BenchClock::now()), m_end(m_start + plan.duration) {}

  BenchClock::time_point Due(uint64_t index) const {
    const double seconds = static_cast<double>(index) / static_cast<double>(m_plan.rate);
    return m_start + std::chrono::duration_cast<BenchClock::duration>(std::chrono::duration<double>(seconds));
  }

  // The next piece to start and when it was due; false when starting is over.
  bool Next(uint64_t& index, BenchClock::time_point& due) {
    index = m_next.fetch_add(1);
    due = Due(index);
    if (index >= m_plan.maxStarts || due >= m_end) return Finish(std::min(due, m_end));
    while (BenchClock::now() < due) {
      if (m_stop) return Finish(BenchClock::now());
      std::this_thread::sleep_until(std::min(due, BenchClock::now() + kStopPoll));
    }
    const BenchClock::time_point now = BenchClock::now();
    if (m_stop || now >= m_end) return Finish(std::min(now, m_end));
    ++m_started;
    if (now - due > kLateStart) ++m_late;
    return true;
  }

  LoadOutcome Outcome() const {
    LoadOutcome outcome;
    outcome.started = m_started;
    outcome.late = m_late;
    outcome.startingTime = m_stoppedAt - m_start;
    outcome.interrupted = m_stop;
    // Every piece due before starting stopped, up to the cap.
    uint64_t due = 0;
    while (due < m_plan.maxStarts && Due(due) < m_stoppedAt) ++due;
    outcome.notStarted = due > m_started ? due - m_started : 0;
    return outcome;
  }

  BenchClock::time_point Start() const { return m_start; }

 private:
  // Starting is over: the first worker to see it sets when.
  bool Finish(BenchClock::time_point when) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_finished) m_stoppedAt = when;
    m_finished = true;
    return false;
  }

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

}  // namespace

double LoadOutcome::AchievedRate() const {
  const double seconds = std::chrono::duration<double>(startingTime).count();
  return seconds > 0 ? static_cast<double>(started) / seconds : 0;
}

LoadOutcome RunOpenLoop(
    const LoadPlan& plan, const std::atomic<bool>& stop,
    const std::function<void(uint64_t index, BenchClock::time_point due, std::chrono::nanoseconds dueSinceStart)>& work,
    const std::function<void(std::chrono::nanoseconds elapsed)>& everySecond) {
  COpenLoop loop(plan, stop);
  std::atomic<int> working{plan.concurrency};
  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(plan.concurrency));
  for (int i = 0; i < plan.concurrency; ++i) {
    workers.emplace_back([&] {
      uint64_t index = 0;
      BenchClock::time_point due;
      while (loop.Next(index, due)) work(index, due, due - loop.Start());
      --working;
    });
  }
  BenchClock::time_point nextSecond = loop.Start() + std::chrono::seconds(1);
  while (working > 0) {
    std::this_thread::sleep_until(std::min(nextSecond, BenchClock::now() + kStopPoll));
    if (BenchClock::now() >= nextSecond && working > 0) {
      everySecond(BenchClock::now() - loop.Start());
      nextSecond += std::chrono::seconds(1);
    }
  }
  for (std::thread& worker : workers) worker.join();
  return loop.Outcome();
}
