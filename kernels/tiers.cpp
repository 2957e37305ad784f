// SPDX-License-Identifier: MIT
#include "tiers.h"

#include "avx2/avx2.h"
#include "avx512/avx512.h"
#include "portable/portable.h"

#include <cstring>

const kernel_tier *const KERNEL_TIERS[] = {
    &portable::TIER,
    &avx2::TIER,
    &avx512::AMD_TIER,
    &avx512::TIER,
};
const size_t KERNEL_TIER_COUNT = sizeof KERNEL_TIERS / sizeof KERNEL_TIERS[0];

const kernel_tier &best_kernel_tier() {
  static const kernel_tier *const best = [] {
    const kernel_tier *found = KERNEL_TIERS[0];
    for (const kernel_tier *tier : KERNEL_TIERS)
      if (tier->supported() && tier->suits()) found = tier;
    return found;
  }();
  return *best;
}

const kernel_tier *find_kernel_tier(const char *name) {
  for (const kernel_tier *tier : KERNEL_TIERS)
    if (std::strcmp(tier->name, name) == 0 && tier->supported()) return tier;
  return nullptr;
}

namespace {
const kernel_tier *selected = nullptr;
} // namespace

const kernel_tier &active_kernel_tier() {
  return selected != nullptr ? *selected : best_kernel_tier();
}

void select_kernel_tier(const kernel_tier &tier) {
  selected = &tier;
}
