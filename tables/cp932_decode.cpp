#include "cp932_decode.h"

#include "cp932_rows.h"

namespace {

consteval std::array<int16_t, 256> build_single() {
  std::array<int16_t, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte)
    table[byte] = is_cp932_lead_byte(byte) ? LEAD_BYTE_MARK : INVALID_BYTE_MARK;
  for (const cp932_row &row : cp932_rows)
    if (row.code < 0x100) table[row.code] = static_cast<int16_t>(row.unicode);
  return table;
}

consteval std::array<int16_t, DOUBLE_TABLE_SIZE> build_double() {
  std::array<int16_t, DOUBLE_TABLE_SIZE> table{};
  for (int16_t &entry : table) entry = UNMAPPED_CODE;
  for (const cp932_row &row : cp932_rows)
    if (row.code >= 0x100) table[row.code - DOUBLE_FIRST_CODE] = static_cast<int16_t>(row.unicode);
  return table;
}

} // namespace

constinit std::array<int16_t, 256> cp932_single = build_single();
constinit std::array<int16_t, DOUBLE_TABLE_SIZE> cp932_double = build_double();
