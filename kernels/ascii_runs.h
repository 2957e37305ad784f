// SPDX-License-Identifier: MIT
// The ASCII-run kernels the portable tier uses: SSE2 where the target has it, else the scalar
// one.
#pragma once

#include "scalar/ascii_runs.h"
#include "sse2/ascii_runs.h"

#if defined(HAVE_SSE2_KERNELS)
namespace ascii_kernel = sse2;
#else
namespace ascii_kernel = scalar;
#endif

// Room a caller keeps past its output for what a kernel writes beyond the units it counts.
constexpr size_t ASCII_KERNEL_OVERHANG = 48;
static_assert(ASCII_KERNEL_OVERHANG <= KERNEL_OVERWRITE);
