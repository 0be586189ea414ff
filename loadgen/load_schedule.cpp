#include "voka/loadgen/load_schedule.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace {

// The longest sleep between two looks at the stop flag.
constexpr std::chrono::milliseconds kStopPoll{20};

// false when the stop flag was set first.
bool WaitUntilDue(CLoadSchedule& schedule, BenchClock::time_point due) {
  while (BenchClock::now() < due) {
    if (schedule.Stopping()) return false;
    std::this_thread::sleep_until(std::min(due, BenchClock::now() + kStopPoll));
  }
  return true;
}

}  // namespace

CLoadSchedule::CLoadSchedule(const LoadPlan& plan, const std::atomic<bool>& stop)
    : m_plan(plan), m_stop(stop), m_start(BenchClock::now()), m_end(m_start + plan.duration) {}

BenchClock::time_point CLoadSchedule::Due(uint64_t index) const {
  const double seconds = static_cast<double>(index) / static_cast<double>(m_plan.rate);
  return m_start + std::chrono::duration_cast<BenchClock::duration>(std::chrono::duration<double>(seconds));
}

bool CLoadSchedule::Claim(uint64_t& index, BenchClock::time_point& due) {
  index = m_next.fetch_add(1);
  due = Due(index);
  if (index >= m_plan.maxStarts || due >= m_end) return Finish(std::min(due, m_end));
  return true;
}

bool CLoadSchedule::Start(BenchClock::time_point due) {
  const BenchClock::time_point now = BenchClock::now();
  if (m_stop || now >= m_end) return Finish(std::min(now, m_end));
  ++m_started;
  if (now - due > kLateStart) ++m_late;
  return true;
}

bool CLoadSchedule::Stopping() {
  if (m_stop) Finish(BenchClock::now());
  return m_stop;
}

LoadOutcome CLoadSchedule::Outcome() const {
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

bool CLoadSchedule::Finish(BenchClock::time_point when) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_finished) m_stoppedAt = when;
  m_finished = true;
  return false;
}

double LoadOutcome::AchievedRate() const {
  const double seconds = std::chrono::duration<double>(startingTime).count();
  return seconds > 0 ? static_cast<double>(started) / seconds : 0;
}

LoadOutcome RunScheduleWorkers(const LoadPlan& plan, int threads, const std::atomic<bool>& stop,
                               const std::function<void(CLoadSchedule& schedule)>& worker,
                               const std::function<void(std::chrono::nanoseconds elapsed)>& everySecond) {
  CLoadSchedule schedule(plan, stop);
  std::atomic<int> working{threads};
  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(threads));
  for (int i = 0; i < threads; ++i) {
    workers.emplace_back([&] {
      worker(schedule);
      --working;
    });
  }
  BenchClock::time_point nextSecond = schedule.StartTime() + std::chrono::seconds(1);
  while (working > 0) {
    std::this_thread::sleep_until(std::min(nextSecond, BenchClock::now() + kStopPoll));
    if (BenchClock::now() >= nextSecond && working > 0) {
      everySecond(BenchClock::now() - schedule.StartTime());
      nextSecond += std::chrono::seconds(1);
    }
  }
  for (std::thread& thread : workers) thread.join();
  return schedule.Outcome();
}

LoadOutcome RunOpenLoop(
    const LoadPlan& plan, const std::atomic<bool>& stop,
    const std::function<void(uint64_t index, BenchClock::time_point due, std::chrono::nanoseconds dueSinceStart)>& work,
    const std::function<void(std::chrono::nanoseconds elapsed)>& everySecond) {
  return RunScheduleWorkers(
      plan, plan.concurrency, stop,
      [&](CLoadSchedule& schedule) {
        uint64_t index = 0;
        BenchClock::time_point due;
        while (schedule.Claim(index, due) && WaitUntilDue(schedule, due) && schedule.Start(due)) {
          work(index, due, due - schedule.StartTime());
        }
      },
      everySecond);
}
