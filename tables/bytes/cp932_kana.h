// SPDX-License-Identifier: MIT
// The ranges of CP932 codes whose characters follow their codes in step, so that they convert
// by arithmetic: the SIMD kernels do so instead of a table lookup (tables/kana_ranges.h checks
// the mapping and the variant letters against them).
#pragma once

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
