// SPDX-License-Identifier: MIT
// The CP932 mapping as compile-time data: every line of tables/cp932.txt as a {code, unicode}
// row, and the rows that only the encoder has. Only the table builders and the tests read it,
// so no program carries the rows at run time.
#pragma once

#include "cp932_bytes.h"

#include <cstdint>

struct cp932_row {
  uint16_t code;    // single byte 0x00-0xFF, or lead byte * 256 + trail byte
  uint16_t unicode; // a code point of the Basic Multilingual Plane
};

static constexpr cp932_row cp932_rows[] = {
#include "cp932_rows.inc"
};

// Codes the decoder leaves without a character that still encode these characters.
constexpr cp932_row ENCODE_ONLY_ROWS[] = {
    {0x80, 0x0080}, {0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3},
};

// The private-use characters U+E000-U+E757 encode to the user-defined area 0xF040-0xF9FC, which
// the decoder leaves unmapped: 188 cells a lead byte, trail bytes 0x40-0x7E then 0x80-0xFC.
constexpr unsigned USER_DEFINED_FIRST_CHARACTER = 0xE000;
constexpr unsigned USER_DEFINED_CHARACTERS = 1880;

constexpr uint16_t user_defined_code(unsigned index) {
  const unsigned lead = 0xF0 + index / 188;
  const unsigned cell = index % 188;
  const unsigned trail = cell < 63 ? 0x40 + cell : 0x80 + (cell - 63);
  return static_cast<uint16_t>(lead << 8 | trail);
}

// True for a character that encodes to a code the decoder does not read back.
constexpr bool is_encode_only_character(unsigned character) {
  for (const cp932_row &row : ENCODE_ONLY_ROWS)
    if (row.unicode == character) return true;
  return character >= USER_DEFINED_FIRST_CHARACTER &&
         character < USER_DEFINED_FIRST_CHARACTER + USER_DEFINED_CHARACTERS;
}
