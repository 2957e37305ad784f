// SPDX-License-Identifier: MIT
// The inverse of the mapping file, worked out here on its own, for the tests of the encode
// table: a character with several codes takes the lowest outside the NEC-selected IBM
// extensions 0xED40-0xEEFC; the encode-only rows and the user-defined area come on top.
#pragma once

#include "cp932_rows.h"

#include <map>

inline bool is_nec_selected_code(unsigned code) {
  return code >= 0xED40 && code <= 0xEEFC;
}

inline std::map<unsigned, unsigned> inverse_mapping() {
  std::map<unsigned, unsigned> inverse;
  for (const cp932_row &row : cp932_rows) {
    auto found = inverse.find(row.unicode);
    if (found == inverse.end())
      inverse[row.unicode] = row.code;
    else if (!is_nec_selected_code(row.code) &&
             (is_nec_selected_code(found->second) || row.code < found->second))
      found->second = row.code;
  }
  for (const cp932_row &row : ENCODE_ONLY_ROWS) inverse[row.unicode] = row.code;
  unsigned character = USER_DEFINED_FIRST_CHARACTER;
  for (unsigned lead = 0xF0; lead <= 0xF9; ++lead)
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail)
      if (trail != 0x7F) inverse[character++] = lead << 8 | trail;
  return inverse;
}
