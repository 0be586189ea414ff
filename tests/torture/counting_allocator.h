// A counting replacement of the global operator new and delete, for test
// builds only: it counts the allocations made while counting is on and, when
// armed, makes the Nth of them fail once (operator new throws std::bad_alloc,
// the nothrow forms return null). C linkage, so that a test can also reach
// the copy linked into a DLL through the DLL's exports.
#pragma once

#include <stddef.h>

#if defined(_WIN32)
#define COUNTING_ALLOCATOR_API extern "C" __declspec(dllexport)
#else
#define COUNTING_ALLOCATOR_API extern "C"
#endif

// Starts counting from 0; the allocation numbered failAt (from 1) fails,
// none when failAt is 0.
COUNTING_ALLOCATOR_API void CountingAllocatorStart(long failAt);
// Stops counting and disarms; returns the allocations counted since Start.
COUNTING_ALLOCATOR_API long CountingAllocatorStop(void);
// Whether the armed allocation failed since Start.
COUNTING_ALLOCATOR_API int CountingAllocatorFailed(void);

// For other allocators that share the count (libcurl's): counts one
// allocation and returns 0 when it is the one that must fail.
int CountingAllocatorTakeTurn(void);
