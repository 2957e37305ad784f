// SPDX-License-Identifier: MIT
// The encode table of dostrel: UTF-16 code unit values to CP932 codes.
#pragma once

#include <array>
#include <cstdint>

// An entry is a single-byte code (below 0x100), a two-byte code (lead byte in bits 15-8), or:
constexpr uint16_t NO_CODE = 0xFFFF;

// The table as the mapping gives it, made by the compiler and never changed: every encoder
// without variant letters reads it.
extern const std::array<uint16_t, 0x10000> unicode_to_cp932;

// How many ASCII characters the variant letters patch (r, s, i): the kernels make room for that
// many.
constexpr unsigned ASCII_UNITS_LETTERS_PATCH = 2;

// True when `letter` is a variant letter of the encode table (y r z s o i j v e b d t f n a k q).
bool is_encode_variant(char letter);

// The table as the mapping gives it, patched by `letters` (variant letters only) in order: of
// two letters that change one character, the later one wins.
void make_encode_table(const char *letters, std::array<uint16_t, 0x10000> &table);
