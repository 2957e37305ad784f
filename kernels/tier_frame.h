// SPDX-License-Identifier: MIT
// The frame a SIMD tier's kernels run in (AVX-512 here; an AVX2 or NEON tier would reuse it):
// the tier converts whole blocks while it takes them, and a block it refuses goes to the
// portable kernel, which runs on for a stretch before the tier tries again, so that a block it
// refuses is paid for once; the stretch doubles while refusals come close together (see
// kernel_state). It holds no processor-specific code.
#pragma once

#include "kernel_interface.h"

#include <algorithm>

namespace tier_frame {

// The longest portable stretch after a refusal, and how much the tier must convert between two
// refusals for the stretch to start again from one block. Text with a loss every few hundred
// characters thus stays with the portable kernel (it cost up to 1.5x with 64 and 8 blocks).
constexpr size_t MOST_STRETCH = 512 * KERNEL_BLOCK;
constexpr size_t GOOD_RUN = 32 * KERNEL_BLOCK;

// A tier kernel: the SIMD blocks (`simd(at, left, out, refused)`: the bytes it consumed, and
// whether a block was refused) while they are taken, the portable tier's own kernel
// (`portable`: the very code that tier runs, not a copy compiled into the tier, which measured
// up to a fifth slower on text full of what only the rules take) for the stretch after a
// refusal and for a tail shorter than a block. Returns at a character for the rules, or where
// the range ends. It carries no processor's target: text that keeps the tier on its portable
// stretch (markup with m, say) then pays nothing for the tier's registers on each call.
template <typename SIMD, typename PORTABLE, typename SETUP>
inline size_t run_tier(const unsigned char *from, size_t size, size_t readable, unsigned char *&to,
                       kernel_state &state, const SETUP &setup, size_t block_readable,
                       const SIMD &simd, PORTABLE portable) {
  size_t done = 0;
  while (done < size) {
    if (state.portable_left > 0 || size - done < block_readable ||
        readable - done < block_readable) {
      const size_t span =
          state.portable_left > 0 ? std::min(state.portable_left, size - done) : size - done;
      const size_t used = portable(from + done, span, readable - done, to, state, setup);
      state.portable_left -= std::min(used, state.portable_left);
      done += used;
      if (used < span) break; // a character for the rules, or the rest of a character
      continue;
    }
    bool refused = false;
    const size_t used = simd(from + done, std::min(size, readable) - done, to, refused);
    done += used;
    state.gained += used;
    if (refused) {
      state.stretch = state.gained >= GOOD_RUN
                          ? KERNEL_BLOCK
                          : std::min(std::max(2 * state.stretch, KERNEL_BLOCK), MOST_STRETCH);
      state.portable_left = state.stretch;
      state.gained = 0;
    }
  }
  return done;
}

} // namespace tier_frame
