// SPDX-License-Identifier: MIT
// The portable encoder's steps: one 32-bit step per code unit, made from the encode table,
// holds the unit's bytes and their count, so that a unit costs a lookup, a 2-byte store and an
// advance by the count, with no branch on what the unit is.
#pragma once

#include <cstdint>

namespace portable {

// A step: bits 0-7 the first byte to write (the lead byte, or the single byte), bits 8-15 the
// second, bits 16-17 how many bytes count, ENCODE_STEP_RULES for a unit the rules must write.
constexpr uint32_t ENCODE_STEP_RULES = 0x80000000;

constexpr uint32_t encode_step(unsigned code) {
  return code < 0x100 ? (code | 1u << 16) : ((code >> 8) | (code & 0xFF) << 8 | 2u << 16);
}

} // namespace portable
