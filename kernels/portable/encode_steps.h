// SPDX-License-Identifier: MIT
// A branch-free UTF-16 to CP932 encoder for every processor: one 32-bit step a code unit, made
// from the encode table, holds the unit's bytes and their count. Each unit costs a lookup, a
// 2-byte store and an advance by the count, with no branch on what the unit is; a chunk of 32
// units is checked once for a unit that needs the rules (no code, a surrogate, markup to
// escape), and such a chunk is left to them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace portable {

// A step: bits 0-7 the first byte to write (the lead byte, or the single byte), bits 8-15 the
// second, bits 16-17 how many bytes count, ENCODE_STEP_SLOW for a unit the rules must handle.
constexpr uint32_t ENCODE_STEP_SLOW = 0x80000000;

constexpr uint32_t encode_step(unsigned code) {
  return code < 0x100 ? (code | 1u << 16) : ((code >> 8) | (code & 0xFF) << 8 | 2u << 16);
}

// Encodes whole chunks of 32 units at `from` (`units` of them readable) to `to`; returns the
// units done and advances `to`. Writes at most three bytes past what it counts.
template <bool LITTLE>
inline size_t encode_with_steps(const unsigned char *from, size_t units, const uint32_t *steps,
                                unsigned char *&to) {
  size_t done = 0;
  unsigned char *out = to;
  while (units - done >= 32) {
    unsigned char *const chunk_out = out;
    uint32_t seen = 0;
    for (size_t k = 0; k < 32; ++k) {
      // The two bytes are loaded one by one: a 16-bit load with a byte swap can become a
      // partial-register write that chains the iterations.
      const unsigned char *at = from + 2 * (done + k);
      const unsigned unit = LITTLE ? (at[1] << 8 | at[0]) : (at[0] << 8 | at[1]);
      const uint32_t step = steps[unit];
      seen |= step;
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &step, 4); // the bytes, then two that the next step overwrites
      } else {
        out[0] = static_cast<unsigned char>(step);
        out[1] = static_cast<unsigned char>(step >> 8);
      }
      out += (step >> 16) & 3;
    }
    if ((seen & ENCODE_STEP_SLOW) != 0) {
      out = chunk_out;
      break;
    }
    done += 32;
  }
  to = out;
  return done;
}

} // namespace portable
