// SPDX-License-Identifier: MIT
// The ranges of CP932 codes whose characters follow their codes in step, which the SIMD
// kernels convert by arithmetic instead of a table lookup. The static_asserts beside the
// tables and the variant patches check that the mapping holds them and no letter touches them.
#pragma once

#include "cp932_rows.h"

struct kana_range {
  unsigned first_code, last_code, first_character;
};

constexpr kana_range KANA_RANGES[] = {
    {0xA1, 0xDF, 0xFF61},     // halfwidth katakana
    {0x829F, 0x82F1, 0x3041}, // hiragana
    {0x8340, 0x837E, 0x30A1}, // katakana
    {0x8380, 0x8396, 0x30E0}, // katakana, after the trail byte 0x7F
};

constexpr bool in_kana_range(unsigned code) {
  for (const kana_range &range : KANA_RANGES)
    if (code >= range.first_code && code <= range.last_code) return true;
  return false;
}

constexpr bool in_kana_characters(unsigned character) {
  for (const kana_range &range : KANA_RANGES)
    if (character >= range.first_character &&
        character <= range.first_character + range.last_code - range.first_code)
      return true;
  return false;
}

// Every code of the ranges is in the mapping with the character the arithmetic gives, and no
// other code maps to those characters.
constexpr bool kana_ranges_hold() {
  unsigned matched = 0, expected = 0;
  for (const kana_range &range : KANA_RANGES) expected += range.last_code - range.first_code + 1;
  for (const cp932_row &row : cp932_rows) {
    if (!in_kana_range(row.code)) {
      if (in_kana_characters(row.unicode)) return false;
      continue;
    }
    for (const kana_range &range : KANA_RANGES)
      if (row.code >= range.first_code && row.code <= range.last_code) {
        if (row.unicode != range.first_character + (row.code - range.first_code)) return false;
        ++matched;
      }
  }
  return matched == expected;
}
