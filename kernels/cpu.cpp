// SPDX-License-Identifier: MIT
#include "cpu.h"

kernel_level best_kernel_level() {
#if defined(__x86_64__) && defined(__GNUC__)
  // The runtime checks the operating system's support for the registers too (XCR0).
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2"))
    return kernel_level::avx512;
#endif
  return kernel_level::portable;
}

kernel_level active_kernel_level = best_kernel_level();

const char *kernel_level_name(kernel_level level) {
  return level == kernel_level::avx512 ? "avx512" : "portable";
}
