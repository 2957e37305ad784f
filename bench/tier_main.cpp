// SPDX-License-Identifier: MIT
// varnok_tier and dostrel_tier: the programs on a kernel tier named by the first argument
// ("portable", "avx512_amd", "avx512"), so that the benchmark can time every tier on the same input
// (the programs themselves always take the best tier there is). PROFILE names the program's
// profile, PROFILE_HEADER its header.
#include "expand.h"
#include "tiers.h"
#include PROFILE_HEADER

#include <cstdio>

int main(int argc, char **argv) {
  const kernel_tier *tier = argc > 1 ? find_kernel_tier(argv[1]) : nullptr;
  if (tier == nullptr) {
    std::fprintf(stderr, "usage: %s TIER [options] [files...], TIER one this processor runs\n",
                 argv[0]);
    return 1;
  }
  select_kernel_tier(*tier);
  argv[1] = argv[0];
  return expand_arguments(argc - 1, argv + 1, PROFILE);
}
