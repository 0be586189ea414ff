// A host process with a periodic signal handler (profilers, timers, SIGCHLD)
// must not stretch the answer wait.
#include <signal.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>

#include "protocol/engine_messages.h"
#include "tests/engine/engine_fixture.h"

namespace {

// Enough ticks to outlast any sound wait; the timer then stops, so that a
// wait restarted after each tick ends and fails the test instead of hanging it.
constexpr int kTicks = 40;
std::atomic<int> g_ticks{0};

void OnTick(int) {
  if (++g_ticks == kTicks) {
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
  }
}

using SignalWait = EngineWithPeers;

TEST_F(SignalWait, PeriodicSignalsDoNotStretchTheAnswerWait) {
  struct sigaction tick = {}, previous = {};
  tick.sa_handler = OnTick;
  sigemptyset(&tick.sa_mask);  // no SA_RESTART: each tick interrupts the wait
  ASSERT_EQ(sigaction(SIGALRM, &tick, &previous), 0);
  itimerval every200ms{{0, 200000}, {0, 200000}};
  ASSERT_EQ(setitimer(ITIMER_REAL, &every200ms, nullptr), 0);

  const auto start = std::chrono::steady_clock::now();
  const int result = engine.StaticAuthen("u", "p", "1", "1", "", "");
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();

  itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_EQ(result, AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("DESCMSG"), kNetworkErrorMessage);
  EXPECT_GE(waited, 1900);
  EXPECT_LT(waited, 3500);
  EXPECT_GT(g_ticks.load(), 5);
}

}  // namespace
