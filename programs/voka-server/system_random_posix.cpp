#include <pthread.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "voka-server/system_random.h"

namespace {

// One getrandom a block instead of one a value; each value is taken once and
// wiped from the block, so what was handed out is not left in memory.
constexpr size_t kBlockValues = 64;

// A forked copy of the process must not hand out the values its parent
// will: the child starts a block of its own.
unsigned g_forks = 0;

void CountFork() { ++g_forks; }

class CRandomBlock {
 public:
  CRandomBlock() {
    static const bool counting = pthread_atfork(nullptr, nullptr, &CountFork) == 0;
    m_forkCounted = counting;
  }

  uint64_t Take() {
    if (m_next == kBlockValues || m_forks != g_forks || !m_forkCounted) Refill();
    const uint64_t value = m_values[m_next];
    m_values[m_next++] = 0;
    return value;
  }

 private:
  void Refill() {
    char* bytes = reinterpret_cast<char*>(m_values);
    size_t filled = 0;
    while (filled < sizeof m_values) {
      const ssize_t got = getrandom(bytes + filled, sizeof m_values - filled, 0);
      if (got < 0 && errno == EINTR) continue;
      // Once the generator is seeded, reads of up to 256 bytes never come
      // short; without it no key may be issued at all.
      if (got <= 0) {
        std::fprintf(stderr, "voka-server: the system's random generator failed: %s\n", std::strerror(errno));
        std::abort();
      }
      filled += static_cast<size_t>(got);
    }
    m_next = 0;
    m_forks = g_forks;
  }

  uint64_t m_values[kBlockValues] = {};
  size_t m_next = kBlockValues;
  unsigned m_forks = 0;
  bool m_forkCounted = false;  // without it, every value is a draw of its own
};

}  // namespace

uint64_t SystemRandom64() {
  thread_local CRandomBlock block;
  return block.Take();
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
