#include "tests/torture/curl_counting_allocator.h"

#include <curl/curl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "tests/torture/counting_allocator.h"

namespace {

std::atomic<long> g_failed{0};

bool TakeTurn() {
  if (CountingAllocatorTakeTurn()) return true;
  ++g_failed;
  return false;
}

void* CountedMalloc(size_t size) { return TakeTurn() ? std::malloc(size) : nullptr; }

void* CountedCalloc(size_t count, size_t size) { return TakeTurn() ? std::calloc(count, size) : nullptr; }

void* CountedRealloc(void* pointer, size_t size) { return TakeTurn() ? std::realloc(pointer, size) : nullptr; }

char* CountedStrdup(const char* text) { return TakeTurn() ? strdup(text) : nullptr; }

void Free(void* pointer) { std::free(pointer); }

}  // namespace

bool CountCurlAllocations() {
  return curl_global_init_mem(CURL_GLOBAL_DEFAULT, CountedMalloc, Free, CountedRealloc, CountedStrdup, CountedCalloc) ==
         CURLE_OK;
}

long FailedCurlAllocations() { return g_failed; }
