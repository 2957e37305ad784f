// SPDX-License-Identifier: MIT
// A cheap reading of elapsed time, to compare two paths over the same stretch of text: the time
// stamp counter on x86 (a few nanoseconds a reading, at a constant rate on the processors that
// run the SIMD tiers), else the standard steady clock.
#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
inline uint64_t ticks_now() {
  return __rdtsc();
}
#else
#include <chrono>
inline uint64_t ticks_now() {
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}
#endif
