#pragma once
// Runs a blocking task on a thread of its own and waits for it no longer than
// a deadline. Past the deadline the task is asked to cancel itself and given a
// short grace; a task that still has not ended is abandoned, never waited for.
// The thread keeps its task alive through its own reference and holds this
// module loaded until it ends, so abandoning it is safe even when the host
// unloads the DLL meanwhile.

#include <windows.h>

#include <memory>

class DeadlineTask {
 public:
  virtual ~DeadlineTask() = default;
  // On the worker thread; nothing may be thrown out of it.
  virtual void Run() noexcept = 0;
  // On the waiting thread once the deadline has passed, possibly while Run
  // is still blocked: it should make Run return soon.
  virtual void Cancel() noexcept = 0;
};

// True when the task ran to its end before deadlineTick (a GetTickCount64
// value); only then may the caller read what the task produced.
bool RunBeforeDeadline(const std::shared_ptr<DeadlineTask>& task, ULONGLONG deadlineTick);
