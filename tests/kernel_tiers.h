// SPDX-License-Identifier: MIT
// Running the converters on each kernel tier this processor has, the portable one first.
#pragma once

#include "in_memory.h"
#include "tiers.h"

#include <string>
#include <vector>

inline std::vector<const kernel_tier *> available_tiers() {
  std::vector<const kernel_tier *> tiers;
  for (size_t k = 0; k < KERNEL_TIER_COUNT; ++k)
    if (KERNEL_TIERS[k]->supported()) tiers.push_back(KERNEL_TIERS[k]);
  return tiers;
}

// Makes the converters use `tier` until it goes out of scope.
struct tier_pin {
  explicit tier_pin(const kernel_tier &tier) : saved(&active_kernel_tier()) {
    select_kernel_tier(tier);
  }
  ~tier_pin() { select_kernel_tier(*saved); }
  tier_pin(const tier_pin &) = delete;
  tier_pin &operator=(const tier_pin &) = delete;
  const kernel_tier *saved;
};

// True when every tier converts `input` (in reads of at most `largest_read` bytes when not 0)
// as the portable tier does, audit lines included.
inline bool same_on_every_tier(stream_converter convert, const std::string &input,
                               size_t largest_read = 0) {
  converted reference;
  {
    const tier_pin pin(*KERNEL_TIERS[0]);
    reference = convert_in_memory(convert, input, largest_read);
  }
  for (const kernel_tier *tier : available_tiers()) {
    const tier_pin pin(*tier);
    const converted result = convert_in_memory(convert, input, largest_read);
    if (result.out != reference.out || result.status != reference.status ||
        result.audit != reference.audit)
      return false;
  }
  return true;
}
