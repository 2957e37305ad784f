// SPDX-License-Identifier: MIT
// Checks of the kana ranges, which the SIMD kernels convert by arithmetic: the static_asserts
// beside the tables and the variant patches use them, so that the mapping holds the ranges and
// no letter touches them.
#pragma once

#include "cp932_kana.h"
#include "cp932_rows.h"

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
