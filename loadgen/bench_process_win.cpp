#include <windows.h>

#include "voka/loadgen/bench_process.h"

namespace {

std::atomic<bool>* g_stop = nullptr;
std::atomic<bool> g_interrupted{false};

// Runs on a thread of its own: the first Ctrl-C stops the run, a second one
// ends the process as usual.
BOOL WINAPI OnInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT || g_interrupted.exchange(true)) return FALSE;
  g_stop->store(true);
  return TRUE;
}

double Seconds(const FILETIME& time) {
  const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<double>(ticks) / 1e7;  // 100-nanosecond ticks
}

}  // namespace

void StopOnInterrupt(std::atomic<bool>& stop) {
  g_stop = &stop;
  g_interrupted.store(false);
  SetConsoleCtrlHandler(OnInterrupt, TRUE);
}

void RestoreInterrupt() { SetConsoleCtrlHandler(OnInterrupt, FALSE); }

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  return Seconds(kernel) + Seconds(user);
}
