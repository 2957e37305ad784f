// SPDX-License-Identifier: MIT
// Prints the kernel tier the programs choose on this processor, for the benchmark's report;
// with --all, every tier this processor runs, the portable one first.
#include "tiers.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
  if (argc > 1 && std::strcmp(argv[1], "--all") == 0) {
    for (size_t k = 0; k < KERNEL_TIER_COUNT; ++k)
      if (KERNEL_TIERS[k]->supported()) std::printf("%s\n", KERNEL_TIERS[k]->name);
    return 0;
  }
  std::printf("%s\n", best_kernel_tier().name);
  return 0;
}
