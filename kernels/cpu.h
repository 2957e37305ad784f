// SPDX-License-Identifier: MIT
// Which kernels this processor can run, found once at start-up.
#pragma once

enum class kernel_level {
  portable, // plain C++ (with SSE2 on x86-64, which every x86-64 has)
  avx512,   // AVX-512 BW, VBMI2 and BMI2
};

// The best level this processor and its operating system support.
kernel_level best_kernel_level();

// The kernels the converters use: the best there are, unless a test (which runs each level in
// turn) or the benchmark's portable build chose others.
extern kernel_level active_kernel_level;

// "portable" or "avx512", for the benchmark's report.
const char *kernel_level_name(kernel_level level);
