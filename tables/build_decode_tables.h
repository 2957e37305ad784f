// SPDX-License-Identifier: MIT
// How the decode tables are made from the mapping rows: by the compiler for the programs, and
// again at run time when a test brings back the tables of a fresh process.
#pragma once

#include "cp932_decode.h"
#include "cp932_rows.h"

constexpr std::array<int16_t, 256> build_single() {
  std::array<int16_t, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte)
    table[byte] = is_cp932_lead_byte(byte) ? LEAD_BYTE_MARK : INVALID_BYTE_MARK;
  for (const cp932_row &row : cp932_rows)
    if (row.code < 0x100) table[row.code] = static_cast<int16_t>(row.unicode);
  return table;
}

constexpr std::array<uint32_t, DOUBLE_TABLE_SIZE> build_double_utf8() {
  std::array<uint32_t, DOUBLE_TABLE_SIZE> table{};
  for (const cp932_row &row : cp932_rows)
    if (row.code >= 0x100) table[row.code - DOUBLE_FIRST_CODE] = utf8_entry(row.unicode);
  return table;
}

constexpr std::array<int16_t, DOUBLE_TABLE_SIZE> build_double() {
  std::array<int16_t, DOUBLE_TABLE_SIZE> table{};
  for (int16_t &entry : table) entry = UNMAPPED_CODE;
  for (const cp932_row &row : cp932_rows)
    if (row.code >= 0x100) table[row.code - DOUBLE_FIRST_CODE] = static_cast<int16_t>(row.unicode);
  return table;
}
