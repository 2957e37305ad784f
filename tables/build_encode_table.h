// SPDX-License-Identifier: MIT
// How the encode table is made: the inverse of the decode mapping, computed from the same rows
// so the two can never drift apart; by the compiler for the program, and again at run time
// when a test brings back the table of a fresh process.
#pragma once

#include "cp932_encode.h"
#include "cp932_rows.h"

constexpr bool is_nec_selected_ibm(unsigned code) {
  return code >= 0xED40 && code <= 0xEEFC;
}

constexpr std::array<uint16_t, 0x10000> build_encode() {
  std::array<uint16_t, 0x10000> table{};
  for (uint16_t &entry : table) entry = NO_CODE;
  // A character with several codes takes the lowest one outside the NEC-selected IBM
  // extensions 0xED40-0xEEFC; the rows come in ascending code order.
  for (const cp932_row &row : cp932_rows) {
    uint16_t &entry = table[row.unicode];
    if (entry == NO_CODE || (is_nec_selected_ibm(entry) && !is_nec_selected_ibm(row.code)))
      entry = row.code;
  }
  for (const cp932_row &row : ENCODE_ONLY_ROWS) table[row.unicode] = row.code;
  for (unsigned index = 0; index < USER_DEFINED_CHARACTERS; ++index)
    table[USER_DEFINED_FIRST_CHARACTER + index] = user_defined_code(index);
  return table;
}
