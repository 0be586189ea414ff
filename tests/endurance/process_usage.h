#pragma once
// What the process holds right now, from /proc/self: open file descriptors
// and resident memory. Linux only; the login endurance test is native.

#include <cstddef>

size_t OpenFileDescriptors();
size_t ResidentBytes();

// AddressSanitizer keeps freed memory in quarantine, so resident memory
// grows by design under it; leaks are its own report there.
constexpr bool kResidentMemoryIsMeaningful =
#if defined(__SANITIZE_ADDRESS__)
    false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    false;
#else
    true;
#endif
#else
    true;
#endif
