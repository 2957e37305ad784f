// SPDX-License-Identifier: MIT
// The AVX-512 tier (BW, VBMI, VBMI2, BMI2), x86-64 only: whole blocks of 64 bytes at a time,
// ASCII and kana by arithmetic, the other characters gathered from the tables, 16 at a time. A
// block it cannot take goes to the portable kernel, which runs on for a stretch before this
// tier tries again.
#pragma once

#include "kernel_interface.h"

// Its kernels are built for x86-64 with a GNU-compatible compiler only; each function is
// compiled for AVX-512 on its own, so the programs stay runnable on any x86-64.
#if defined(__x86_64__) && defined(__GNUC__)
#define AVX512_TIER_BUILT 1
#endif

namespace avx512 {

// Not supported where it is not built, and never chosen there. TIER gathers its table entries
// in every direction; AMD_TIER, chosen on AMD's processors (whose gathers are slow), converts
// UTF-16 with its lookups queued and done in a scalar pass (queued_lookups.h), and runs the
// portable kernels for UTF-8.
extern const kernel_tier TIER;
extern const kernel_tier AMD_TIER;

} // namespace avx512
