// SPDX-License-Identifier: MIT
// The kernel tiers, and the one place that chooses which one the converters use.
#pragma once

#include "kernel_interface.h"

// Every tier, the portable one first and the best last.
extern const kernel_tier *const KERNEL_TIERS[];
extern const size_t KERNEL_TIER_COUNT;

// The portable tier, whose kernels the converters call directly during another tier's portable
// stretch (run_kernel).
inline const kernel_tier &portable_kernel_tier() {
  return *KERNEL_TIERS[0];
}

// The best tier this processor runs; the programs choose it at start-up.
const kernel_tier &best_kernel_tier();
// The tier named `name` when this processor runs it, else null.
const kernel_tier *find_kernel_tier(const char *name);

// The tier the converters use: the best one, unless select_kernel_tier chose another (the
// benchmark's tier runs and the tests, which run every tier in turn).
const kernel_tier &active_kernel_tier();
void select_kernel_tier(const kernel_tier &tier);
