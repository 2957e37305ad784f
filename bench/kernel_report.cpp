// SPDX-License-Identifier: MIT
// Prints which kernels the programs choose on this processor, for the benchmark's report.
#include "cpu.h"

#include <cstdio>

int main() {
  std::printf("%s\n", kernel_level_name(best_kernel_level()));
  return 0;
}
