// SPDX-License-Identifier: MIT
// The portable encoder's steps: one 32-bit step per code unit, made from the encode table,
// holds the unit's bytes and their count, so that a unit costs a lookup, a 2-byte store and an
// advance by the count, with no branch on what the unit is.
#pragma once

#include <cstdint>

namespace portable {

// A step: bits 0-7 the first byte to write (the lead byte, or the single byte), bits 8-15 the
// second, bits 16-17 how many bytes count, ENCODE_STEP_RULES for a unit the rules must write,
// ENCODE_STEP_OTHER_LENGTH for a code whose length is not the one its unit's kind suggests
// (one byte for ASCII and halfwidth katakana, two for every other unit): a tier that places the
// codes before it looks them up refuses such a unit (U+00A5 with y, U+005C with s...).
constexpr uint32_t ENCODE_STEP_RULES = 0x80000000;
constexpr uint32_t ENCODE_STEP_OTHER_LENGTH = 0x40000000;

constexpr unsigned kind_length(unsigned unit) {
  return unit < 0x80 || (unit >= 0xFF61 && unit <= 0xFF9F) ? 1 : 2;
}

constexpr uint32_t encode_step(unsigned unit, unsigned code) {
  const unsigned length = code < 0x100 ? 1 : 2;
  return (length == 1 ? code : (code >> 8) | (code & 0xFF) << 8) | length << 16 |
         (length != kind_length(unit) ? ENCODE_STEP_OTHER_LENGTH : 0);
}

} // namespace portable
