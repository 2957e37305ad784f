// The encode table is the inverse of the decode mapping, computed by the compiler from the same
// rows, so the two can never drift apart.
#include "cp932_encode.h"

#include "cp932_rows.h"

namespace {

constexpr bool is_nec_selected_ibm(unsigned code) {
  return code >= 0xED40 && code <= 0xEEFC;
}

// The code of U+E000 + index in the user-defined area 0xF040-0xF9FC: 188 cells a lead byte,
// trail bytes 0x40-0x7E then 0x80-0xFC (0x7F is never a trail byte).
constexpr uint16_t user_defined_code(unsigned index) {
  unsigned lead = 0xF0 + index / 188;
  unsigned cell = index % 188;
  unsigned trail = cell < 63 ? 0x40 + cell : 0x80 + (cell - 63);
  return static_cast<uint16_t>(lead << 8 | trail);
}

consteval std::array<uint16_t, 0x10000> build_encode() {
  std::array<uint16_t, 0x10000> table{};
  for (uint16_t &entry : table) entry = NO_CODE;
  // A character with several codes takes the lowest one outside the NEC-selected IBM
  // extensions 0xED40-0xEEFC; the rows come in ascending code order.
  for (const cp932_row &row : cp932_rows) {
    uint16_t &entry = table[row.unicode];
    if (entry == NO_CODE || (is_nec_selected_ibm(entry) && !is_nec_selected_ibm(row.code)))
      entry = row.code;
  }
  // Codes the decoder leaves without a character still encode these characters.
  table[0x0080] = 0x80;
  table[0xF8F0] = 0xA0;
  table[0xF8F1] = 0xFD;
  table[0xF8F2] = 0xFE;
  table[0xF8F3] = 0xFF;
  for (unsigned index = 0; index < 1880; ++index) table[0xE000 + index] = user_defined_code(index);
  return table;
}

} // namespace

constinit std::array<uint16_t, 0x10000> unicode_to_cp932 = build_encode();
