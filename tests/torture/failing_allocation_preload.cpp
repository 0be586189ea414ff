// Preloaded into a program (LD_PRELOAD) to count its allocations and fail
// one of them, counted from the start of the process:
//   VOKA_FAILING_ALLOCATION=N       the Nth allocation fails (none when unset)
//   VOKA_ALLOCATION_COUNT_FILE=PATH receives the number of allocations at exit
#include <cstdio>
#include <cstdlib>

#include "tests/torture/counting_allocator.h"

namespace {

__attribute__((constructor)) void StartCounting() {
  const char* failAt = std::getenv("VOKA_FAILING_ALLOCATION");
  CountingAllocatorStart(failAt != nullptr ? std::strtol(failAt, nullptr, 10) : 0);
}

__attribute__((destructor)) void ReportCount() {
  const long count = CountingAllocatorStop();
  const char* path = std::getenv("VOKA_ALLOCATION_COUNT_FILE");
  if (path == nullptr) return;
  if (FILE* file = std::fopen(path, "w")) {
    std::fprintf(file, "%ld\n", count);
    std::fclose(file);
  }
}

}  // namespace
