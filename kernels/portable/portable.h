// SPDX-License-Identifier: MIT
// The portable tier: plain C++ (with SSE2 ASCII runs on x86-64), on every processor. It is the
// reference the other tiers are tested against besides the rules, and what they fall back on
// for the blocks they refuse.
#pragma once

#include "kernel_interface.h"

namespace portable {

extern const kernel_tier TIER;

template <unicode_form FORM>
size_t decode_cp932(const unsigned char *from, size_t size, size_t readable, unsigned char *&to,
                    kernel_state &state, const decode_setup &setup);

template <unicode_form FORM>
size_t encode_cp932(const unsigned char *from, size_t size, size_t readable, unsigned char *&to,
                    kernel_state &state, const encode_setup &setup);

} // namespace portable
