// Preloaded into a program (LD_PRELOAD) to count its allocations and fail
// one of them, counted from the start of main:
//   VOKA_FAILING_ALLOCATION=N       the Nth allocation fails (none when unset)
//   VOKA_ALLOCATION_COUNT_FILE=PATH receives the number of allocations at exit
// An allocation of a header-only library's static objects, before main, can
// be handled by no program; those are left alone.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "tests/torture/counting_allocator.h"

namespace {

using MainFunction = int (*)(int, char**, char**);
using StartMainFunction = int (*)(MainFunction, int, char**, void (*)(), void (*)(), void (*)(), void*);

MainFunction g_main = nullptr;

int CountingMain(int argc, char** argv, char** envp) {
  const char* failAt = std::getenv("VOKA_FAILING_ALLOCATION");
  CountingAllocatorStart(failAt != nullptr ? std::strtol(failAt, nullptr, 10) : 0);
  return g_main(argc, argv, envp);
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

// glibc calls main through here once the program's static objects are built;
// the preload takes glibc's own name to stand between them.
extern "C" int __libc_start_main(  // NOLINT(bugprone-reserved-identifier)
    MainFunction main, int argc, char** argv, void (*init)(), void (*fini)(), void (*rtldFini)(), void* stackEnd) {
  g_main = main;
  const auto start = reinterpret_cast<StartMainFunction>(dlsym(RTLD_NEXT, "__libc_start_main"));
  return start(CountingMain, argc, argv, init, fini, rtldFini, stackEnd);
}
