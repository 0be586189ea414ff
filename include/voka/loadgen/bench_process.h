// What voka-auth bench asks of the operating system: Ctrl-C, and its own CPU time.
#pragma once

#include <atomic>

// Until RestoreInterrupt, the first SIGINT sets stop instead of ending the
// process; a second one ends it as usual.
void StopOnInterrupt(std::atomic<bool>& stop);
void RestoreInterrupt();

// The CPU time the process has used so far, user and system, in seconds.
double ProcessCpuSeconds();
