// SPDX-License-Identifier: MIT
// Where the characters of a block of 64 CP932 bytes begin, from bit masks of its bytes (bit k for
// byte k), as every SIMD tier computes them: which bytes lie in the lead-byte ranges, which may
// be trail bytes, which may stand alone. Plain arithmetic on masks, for any processor.
#pragma once

#include <cstdint>

constexpr uint64_t EVEN_BITS = 0x5555555555555555ULL;

// Its lead bytes and its one-byte characters; the block's bytes (all 64, or 63 when the last is
// a lead byte, which waits for the next block with its trail byte).
struct block_characters {
  uint64_t leads, singles, in_block;
};

// Finds the characters of a block (which begins at a character, never at a trail byte); false
// when it holds a byte that may not stand alone, or a lead byte whose trail byte may not be one.
inline bool find_block_characters(uint64_t lead_range, uint64_t trail_ok, uint64_t single_ok,
                                  block_characters &c) {
  // The lead bytes are the even members of each run of lead-range bytes: the first byte of a
  // run follows a byte that is no lead byte, so it begins a character; the next is its trail,
  // and so on.
  const uint64_t starts = lead_range & ~(lead_range << 1);
  const uint64_t odd_runs = lead_range & ~(lead_range + (starts & ~EVEN_BITS));
  const uint64_t leads = (lead_range & ~odd_runs & EVEN_BITS) | (odd_runs & ~EVEN_BITS);
  c.in_block = leads >> 63 ? ~0ULL >> 1 : ~0ULL;
  c.leads = leads & c.in_block;
  const uint64_t trails = c.leads << 1;
  c.singles = c.in_block & ~c.leads & ~trails;
  return (trails & ~trail_ok) == 0 && (c.singles & ~single_ok) == 0;
}
