// SPDX-License-Identifier: MIT
#include "setup.h"

decode_setup make_decode_setup(const int16_t *single, const int16_t *double_table,
                               const uint32_t *utf8_double) {
  decode_setup setup{};
  setup.single = single;
  setup.double_table = double_table;
  for (unsigned byte = 0; byte < 0x80; ++byte) {
    if (single[byte] == static_cast<int16_t>(byte)) continue;
    setup.patches.byte[setup.patches.count] = static_cast<unsigned char>(byte);
    const auto unit = static_cast<uint16_t>(single[byte]);
    setup.patches.unit[setup.patches.count] = unit;
    setup.patches.utf8[setup.patches.count] =
        unit < 0x80    ? unit | 1u << 24
        : unit < 0x800 ? (0xC0u | unit >> 6) | (0x80u | (unit & 0x3Fu)) << 8 | 2u << 24
                       : (0xE0u | unit >> 12) | (0x80u | (unit >> 6 & 0x3Fu)) << 8 |
                             (0x80u | (unit & 0x3Fu)) << 16 | 3u << 24;
    ++setup.patches.count;
    setup.utf8_stops.unit[setup.utf8_stops.count++] = static_cast<uint16_t>(byte);
  }
  setup.utf8_double = utf8_double;
  return setup;
}
