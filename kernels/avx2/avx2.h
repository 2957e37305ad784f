// SPDX-License-Identifier: MIT
// The AVX2 tier (with BMI1 and POPCNT, not BMI2), x86-64 only, for the processors without
// AVX-512: blocks classified at once, ASCII and kana by arithmetic, the other characters
// looked up in one scalar pass over the queued lookups of up to 256 blocks with no branch on
// their kind (no gathers: they are slow on AMD's processors and under Intel's gather data
// sampling mitigation). A block it cannot take goes to the portable kernel, which runs on for
// a stretch before this tier tries again.
#pragma once

#include "kernel_interface.h"

// Its kernels are built for x86-64 with a GNU-compatible compiler only; each function is
// compiled for AVX2 on its own, so the programs stay runnable on any x86-64.
#if defined(__x86_64__) && defined(__GNUC__)
#define AVX2_TIER_BUILT 1
#endif

namespace avx2 {

// Not supported where it is not built, and never chosen there.
extern const kernel_tier TIER;

#if defined(AVX2_TIER_BUILT)
// Its UTF-8 encode kernel, which the AMD AVX-512 tier runs too (and its decode kernel,
// ascii_runs.h).
size_t encode_utf8(const unsigned char *from, size_t size, size_t readable, unsigned char *&to,
                   kernel_state &state, const encode_setup &setup);
#endif

} // namespace avx2
