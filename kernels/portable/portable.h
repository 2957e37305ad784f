// SPDX-License-Identifier: MIT
// The portable tier: plain C++ (with SSE2 ASCII runs on x86-64), on every processor. It is the
// reference the other tiers are tested against besides the rules, and what they fall back on
// for the blocks they refuse (decode.h, encode.h).
#pragma once

#include "kernel_interface.h"

namespace portable {

extern const kernel_tier TIER;

} // namespace portable
