// SPDX-License-Identifier: MIT
// Running the converters with each kernel level this processor has, the portable one first.
#pragma once

#include "cpu.h"

#include <vector>

inline std::vector<kernel_level> available_kernel_levels() {
  std::vector<kernel_level> levels = {kernel_level::portable};
  if (best_kernel_level() == kernel_level::avx512) levels.push_back(kernel_level::avx512);
  return levels;
}

// Makes the converters use `level` until it goes out of scope.
struct kernel_pin {
  explicit kernel_pin(kernel_level level) : saved(active_kernel_level) {
    active_kernel_level = level;
  }
  ~kernel_pin() { active_kernel_level = saved; }
  kernel_pin(const kernel_pin &) = delete;
  kernel_pin &operator=(const kernel_pin &) = delete;
  kernel_level saved;
};
