#include <signal.h>
#include <sys/resource.h>

#include "voka/loadgen/bench_process.h"

namespace {

std::atomic<bool>* g_stop = nullptr;
struct sigaction g_previous;

void OnInterrupt(int) { g_stop->store(true); }

double Seconds(const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; }

}  // namespace

void StopOnInterrupt(std::atomic<bool>& stop) {
  static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler may store into it");
  g_stop = &stop;
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;  // the second Ctrl-C ends the process
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_previous);
}

void RestoreInterrupt() { sigaction(SIGINT, &g_previous, nullptr); }

double ProcessCpuSeconds() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}
