// SPDX-License-Identifier: MIT
// The decode tables of varnok: CP932 bytes and two-byte codes to Unicode values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// cp932_single, by byte: a Unicode value, or one of these marks.
constexpr int16_t LEAD_BYTE_MARK = -1;    // the byte begins a two-byte code
constexpr int16_t INVALID_BYTE_MARK = -2; // the byte cannot begin a character

// cp932_double covers the codes 0x8140 to 0xFCFF; -1 marks a well-formed but unmapped code.
constexpr unsigned DOUBLE_FIRST_CODE = 0x8140;
constexpr size_t DOUBLE_TABLE_SIZE = 0xFCFF - DOUBLE_FIRST_CODE + 1;
constexpr int16_t UNMAPPED_CODE = -1;

// The tables as the mapping gives them, made by the compiler and never changed: every decoder
// without variant letters reads these. Values from U+8000 up read as negative: the 16 bits of an
// entry are the code point.
extern const std::array<int16_t, 256> cp932_single;
extern const std::array<int16_t, DOUBLE_TABLE_SIZE> cp932_double;

// cp932_double for UTF-8 output: an entry holds the character's UTF-8 bytes in bits 0-23 (first
// byte lowest) and their count in bits 24-25; 0 for an unmapped code. The compiler makes it
// with the other tables, so that nothing is built at start-up.
extern const std::array<uint32_t, DOUBLE_TABLE_SIZE> cp932_double_utf8;

// A decoder's own copy of the three tables, patched by its variant letters.
struct decode_tables {
  std::array<int16_t, 256> single;
  std::array<int16_t, DOUBLE_TABLE_SIZE> double_table;
  std::array<uint32_t, DOUBLE_TABLE_SIZE> double_utf8;
};

constexpr uint32_t utf8_entry(uint16_t character) {
  if (character < 0x80) return character | 1u << 24;
  if (character < 0x800)
    return (0xC0u | character >> 6) | (0x80u | (character & 0x3Fu)) << 8 | 2u << 24;
  return (0xE0u | character >> 12) | (0x80u | (character >> 6 & 0x3Fu)) << 8 |
         (0x80u | (character & 0x3Fu)) << 16 | 3u << 24;
}

inline int16_t double_entry(unsigned code) {
  return cp932_double[code - DOUBLE_FIRST_CODE];
}

// How many ASCII bytes the variant letters patch (y, o, and v, which keeps its character): the
// kernels make room for that many.
constexpr unsigned ASCII_BYTES_LETTERS_PATCH = 3;

// True when `letter` is a variant letter of the decode tables (c y o v z e d f j s a k).
bool is_decode_variant(char letter);

// The tables as the mapping gives them, patched by `letters` (variant letters only, in any
// order: no two of them touch the same cell).
void make_decode_tables(const char *letters, decode_tables &tables);
