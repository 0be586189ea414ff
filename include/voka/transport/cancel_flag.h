#pragma once
// A caller's wish, from another thread, that the wait under way end now: the
// UDP receive and the HTTP fetch look at it at least every kCancelCheckMs,
// so that a cancel takes effect within 100 ms.

#include <atomic>

using CancelFlag = std::atomic<bool>;

constexpr int kCancelCheckMs = 50;

inline bool IsCancelled(const CancelFlag* flag) { return flag != nullptr && flag->load(); }
