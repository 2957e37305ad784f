// SPDX-License-Identifier: MIT
// The variant letters of varnok: fixed writes into a decoder's own copy of the decode tables,
// each choosing another Unicode value for one of the characters with competing mappings.
#include "cp932_decode.h"
#include "cp932_rows.h"
#include "kana_ranges.h"

namespace {

struct decode_patch {
  char letter;
  uint16_t code; // a byte (below 0x100) of cp932_single, else a code of cp932_double
  uint16_t unicode;
};

constexpr decode_patch DECODE_PATCHES[] = {
    {'y', 0x5C, 0x00A5},   // YEN SIGN for the byte 0x5C (JIS X 0201 Roman)
    {'o', 0x7E, 0x203E},   // OVERLINE for the byte 0x7E (JIS X 0201 Roman)
    {'v', 0x7C, 0x007C},   // VERTICAL LINE stays; accepted for symmetry with dostrel
    {'z', 0x818F, 0x00A5}, // YEN SIGN
    {'e', 0x815C, 0x2014}, // EM DASH
    {'d', 0x8160, 0x301C}, // WAVE DASH
    {'d', 0x8161, 0x2016}, // DOUBLE VERTICAL LINE
    {'d', 0x817C, 0x2212}, // MINUS SIGN
    {'f', 0x8191, 0x00A2}, // CENT SIGN
    {'f', 0x8192, 0x00A3}, // POUND SIGN
    {'f', 0x81CA, 0x00AC}, // NOT SIGN (0xEEF9 and 0xFA54 keep FULLWIDTH NOT SIGN)
    {'j', 0x8150, 0x203E}, // OVERLINE
    {'s', 0x815F, 0x005C}, // REVERSE SOLIDUS
    {'a', 0x8163, 0x22EF}, // MIDLINE HORIZONTAL ELLIPSIS
    {'k', 0xEEFA, 0x00A6}, // BROKEN BAR, both codes of FULLWIDTH BROKEN BAR
    {'k', 0xFA55, 0x00A6},
};

constexpr bool no_patch_touches_kana() {
  for (const decode_patch &patch : DECODE_PATCHES)
    if (in_kana_range(patch.code) || in_kana_characters(patch.unicode)) return false;
  return true;
}
static_assert(no_patch_touches_kana(), "the kernels compute kana by arithmetic");

// The ASCII bytes patched, each counted once; their characters are characters, never marks.
constexpr unsigned ascii_bytes_patched() {
  unsigned count = 0;
  for (unsigned byte = 0; byte < 0x80; ++byte) {
    bool patched = false;
    for (const decode_patch &patch : DECODE_PATCHES)
      if (patch.code == byte) patched = patch.unicode < 0x8000;
    count += patched;
  }
  return count;
}
static_assert(ascii_bytes_patched() == ASCII_BYTES_LETTERS_PATCH);

// c: the user-defined area and the five single bytes decode as Windows decodes them, to the
// private use characters that dostrel encodes back to them.
void decode_as_windows_does(decode_tables &tables) {
  for (unsigned index = 0; index < USER_DEFINED_CHARACTERS; ++index) {
    const uint16_t code = user_defined_code(index);
    const auto character = static_cast<uint16_t>(USER_DEFINED_FIRST_CHARACTER + index);
    tables.double_table[code - DOUBLE_FIRST_CODE] = static_cast<int16_t>(character);
    tables.double_utf8[code - DOUBLE_FIRST_CODE] = utf8_entry(character);
  }
  for (const cp932_row &row : ENCODE_ONLY_ROWS)
    tables.single[row.code] = static_cast<int16_t>(row.unicode);
}

void apply_decode_variant(char letter, decode_tables &tables) {
  if (letter == 'c') return decode_as_windows_does(tables);
  for (const decode_patch &patch : DECODE_PATCHES) {
    if (patch.letter != letter) continue;
    if (patch.code < 0x100) {
      tables.single[patch.code] = static_cast<int16_t>(patch.unicode);
    } else {
      tables.double_table[patch.code - DOUBLE_FIRST_CODE] = static_cast<int16_t>(patch.unicode);
      tables.double_utf8[patch.code - DOUBLE_FIRST_CODE] = utf8_entry(patch.unicode);
    }
  }
}

} // namespace

bool is_decode_variant(char letter) {
  if (letter == 'c') return true;
  for (const decode_patch &patch : DECODE_PATCHES)
    if (patch.letter == letter) return true;
  return false;
}

void make_decode_tables(const char *letters, decode_tables &tables) {
  tables.single = cp932_single;
  tables.double_table = cp932_double;
  tables.double_utf8 = cp932_double_utf8;
  for (const char *letter = letters; *letter != '\0'; ++letter)
    apply_decode_variant(*letter, tables);
}
