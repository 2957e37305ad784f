// SPDX-License-Identifier: MIT
// The encode table of dostrel: UTF-16 code unit values to CP932 codes.
#pragma once

#include <array>
#include <cstdint>

// An entry is a single-byte code (below 0x100), a two-byte code (lead byte in bits 15-8), or:
constexpr uint16_t NO_CODE = 0xFFFF;

extern std::array<uint16_t, 0x10000> unicode_to_cp932;

// How many ASCII characters the variant letters patch (r, s, i): the kernels make room for that
// many.
constexpr unsigned ASCII_UNITS_LETTERS_PATCH = 2;

// Applies the variant patch of `letter` (y r z s o i j v e b d t f n a k q) to the table.
// Returns false, changing nothing, when the letter has no patch.
bool apply_encode_variant(char letter);

// Brings back the table of a fresh process (tests and fuzz targets).
void reset_encode_table();
