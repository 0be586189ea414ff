#include "transport/deadline_worker_win.h"

#include <new>

namespace {

// Where cancelling ends the task at once, as closing WinINet handles does on
// Windows, the worker has let go of everything before the caller returns.
constexpr DWORD kGraceAfterCancelMs = 500;

struct WorkerStart {
  std::shared_ptr<DeadlineTask> task;
  HMODULE module;
};

DWORD WINAPI RunTask(LPVOID parameter) {
  WorkerStart* start = static_cast<WorkerStart*>(parameter);
  const HMODULE module = start->module;
  start->task->Run();
  delete start;
  // Drops the reference taken for this thread as its last step, so the DLL
  // is unloaded only once no code of it runs here any more.
  FreeLibraryAndExitThread(module, 0);
}

DWORD MillisecondsUntil(ULONGLONG deadlineTick) {
  const ULONGLONG now = GetTickCount64();
  return now < deadlineTick ? static_cast<DWORD>(deadlineTick - now) : 0;
}

}  // namespace

bool RunBeforeDeadline(const std::shared_ptr<DeadlineTask>& task, ULONGLONG deadlineTick) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&RunTask), &module)) {
    return false;
  }
  WorkerStart* start = new (std::nothrow) WorkerStart{task, module};
  HANDLE thread = start != nullptr ? CreateThread(nullptr, 0, RunTask, start, 0, nullptr) : nullptr;
  if (thread == nullptr) {
    delete start;
    FreeLibrary(module);
    return false;
  }
  const bool finished = WaitForSingleObject(thread, MillisecondsUntil(deadlineTick)) == WAIT_OBJECT_0;
  if (!finished) {
    task->Cancel();
    WaitForSingleObject(thread, kGraceAfterCancelMs);
  }
  CloseHandle(thread);
  return finished;
}
