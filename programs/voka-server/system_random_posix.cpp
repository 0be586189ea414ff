#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "programs/voka-server/system_random.h"

uint64_t SystemRandom64() {
  uint64_t value = 0;
  ssize_t got = 0;
  do {
    got = getrandom(&value, sizeof value, 0);
  } while (got < 0 && errno == EINTR);
  // Eight bytes never come short once the generator is seeded; without it
  // no key may be issued at all.
  if (got != static_cast<ssize_t>(sizeof value)) {
    std::fprintf(stderr, "voka-server: the system's random generator failed: %s\n", std::strerror(errno));
    std::abort();
  }
  return value;
}

uint64_t SystemRandomBelow(uint64_t bound) {
  // Values at or above the largest multiple of bound would favour the low results.
  const uint64_t limit = UINT64_MAX - UINT64_MAX % bound;
  uint64_t value = 0;
  do {
    value = SystemRandom64();
  } while (value >= limit);
  return value % bound;
}
