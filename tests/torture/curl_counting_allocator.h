// libcurl's allocations on the counting allocator's count.
#pragma once

// Initialises libcurl with memory functions that count each allocation and
// return null when it is the armed one. Call before anything else uses
// libcurl; false when libcurl could not be initialised.
bool CountCurlAllocations();

// How many of libcurl's allocations have failed so far.
long FailedCurlAllocations();
