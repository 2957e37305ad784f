// SPDX-License-Identifier: MIT
// Running the converters with each kernel level this processor has, the portable one first.
#pragma once

#include "cpu.h"
#include "in_memory.h"

#include <string>
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

// True when every kernel level converts `input` (in reads of at most `largest_read` bytes when
// not 0) as the portable level does.
inline bool same_on_every_level(int (*convert)(input_stream &), const std::string &input,
                                size_t largest_read = 0) {
  converted reference;
  {
    const kernel_pin pin(kernel_level::portable);
    reference = convert_in_memory(convert, input, largest_read);
  }
  for (kernel_level level : available_kernel_levels()) {
    const kernel_pin pin(level);
    const converted result = convert_in_memory(convert, input, largest_read);
    if (result.out != reference.out || result.status != reference.status) return false;
  }
  return true;
}
