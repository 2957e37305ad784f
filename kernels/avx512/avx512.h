// SPDX-License-Identifier: MIT
// The AVX-512 tier (BW, VBMI2, BMI2), x86-64 only: whole blocks of 64 bytes at a time, ASCII
// and kana by arithmetic, the other characters looked up in batches. A block it cannot take
// goes to the portable kernel, which runs on for a stretch before this tier tries again.
#pragma once

#include "kernel_interface.h"

namespace avx512 {

// Not supported on other processors, where its kernels are the portable ones.
extern const kernel_tier TIER;

} // namespace avx512
