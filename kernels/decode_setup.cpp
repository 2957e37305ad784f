// SPDX-License-Identifier: MIT
#include "setup.h"
#include "unicode_units.h"

namespace {

constexpr size_t DOUBLE_CODES = 0xFCFF - 0x8140 + 1;
uint32_t utf8_double[DOUBLE_CODES]; // for UTF-8 output, made from the table of this run

} // namespace

decode_setup make_decode_setup(const int16_t *single, const int16_t *double_table, bool utf8) {
  decode_setup setup{};
  setup.single = single;
  setup.double_table = double_table;
  setup.usable = true;
  for (unsigned byte = 0; byte < 0x80; ++byte) {
    if (single[byte] == static_cast<int16_t>(byte)) continue;
    if (single[byte] < 0 && single[byte] >= -2) { // a mark: no fast path takes ASCII then
      setup.usable = false;
      continue;
    }
    if (setup.patches.count == MOST_ASCII_PATCHES) {
      setup.usable = false;
      continue;
    }
    setup.patches.byte[setup.patches.count] = static_cast<unsigned char>(byte);
    setup.patches.unit[setup.patches.count] = static_cast<uint16_t>(single[byte]);
    ++setup.patches.count;
    setup.patched.unit[setup.patched.count++] = static_cast<uint16_t>(byte);
  }
  if (utf8) {
    for (size_t code = 0; code < DOUBLE_CODES; ++code) {
      if (double_table[code] == -1) {
        utf8_double[code] = 0;
        continue;
      }
      unsigned char bytes[4] = {};
      const auto length = static_cast<uint32_t>(
          store_utf8(bytes, static_cast<uint16_t>(double_table[code])) - bytes);
      utf8_double[code] = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | length << 24;
    }
    setup.utf8_double = utf8_double;
  }
  return setup;
}
