// SPDX-License-Identifier: MIT
// The variant letters of dostrel: fixed writes into an encoder's own copy of the encode table
// that give a code to a character with a competing mapping, take a code away, or choose the IBM
// extension codes.
#include "cp932_encode.h"
#include "kana_ranges.h"

namespace {

struct encode_patch {
  char letter;
  uint16_t unicode;
  uint16_t code; // NO_CODE takes the character's code away
};

constexpr encode_patch ENCODE_PATCHES[] = {
    {'y', 0x00A5, 0x5C},    // YEN SIGN
    {'r', 0x005C, NO_CODE}, // REVERSE SOLIDUS
    {'z', 0x00A5, 0x818F},  // YEN SIGN
    {'s', 0x005C, 0x815F},  // REVERSE SOLIDUS to the fullwidth code
    {'o', 0x203E, 0x7E},    // OVERLINE
    {'i', 0x007E, NO_CODE}, // TILDE
    {'j', 0x203E, 0x8150},  // OVERLINE
    {'v', 0x00A6, 0x7C},    // BROKEN BAR
    {'e', 0x2014, 0x815C},  // EM DASH
    {'b', 0x2015, NO_CODE}, // HORIZONTAL BAR
    {'d', 0x301C, 0x8160},  // WAVE DASH
    {'d', 0x2016, 0x8161},  // DOUBLE VERTICAL LINE
    {'d', 0x2212, 0x817C},  // MINUS SIGN
    {'t', 0xFF5E, NO_CODE}, // FULLWIDTH TILDE
    {'t', 0x2225, NO_CODE}, // PARALLEL TO
    {'t', 0xFF0D, NO_CODE}, // FULLWIDTH HYPHEN-MINUS
    {'f', 0x00A2, 0x8191},  // CENT SIGN
    {'f', 0x00A3, 0x8192},  // POUND SIGN
    {'f', 0x00AC, 0x81CA},  // NOT SIGN
    {'n', 0xFFE0, NO_CODE}, // FULLWIDTH CENT SIGN
    {'n', 0xFFE1, NO_CODE}, // FULLWIDTH POUND SIGN
    {'n', 0xFFE2, NO_CODE}, // FULLWIDTH NOT SIGN
    {'a', 0x22EF, 0x8163},  // MIDLINE HORIZONTAL ELLIPSIS
    {'k', 0x00A6, 0xFA55},  // BROKEN BAR
    // q: the IBM extension codes for the 13 NEC special characters that also have one.
    {'q', 0x2116, 0xFA59}, // NUMERO SIGN
    {'q', 0x2121, 0xFA5A}, // TELEPHONE SIGN
    {'q', 0x2160, 0xFA4A}, // ROMAN NUMERAL ONE to TEN
    {'q', 0x2161, 0xFA4B},
    {'q', 0x2162, 0xFA4C},
    {'q', 0x2163, 0xFA4D},
    {'q', 0x2164, 0xFA4E},
    {'q', 0x2165, 0xFA4F},
    {'q', 0x2166, 0xFA50},
    {'q', 0x2167, 0xFA51},
    {'q', 0x2168, 0xFA52},
    {'q', 0x2169, 0xFA53},
    {'q', 0x3231, 0xFA58}, // PARENTHESIZED IDEOGRAPH STOCK
};

constexpr bool no_patch_touches_kana() {
  for (const encode_patch &patch : ENCODE_PATCHES)
    if (in_kana_characters(patch.unicode) || (patch.code != NO_CODE && in_kana_range(patch.code)))
      return false;
  return true;
}
static_assert(no_patch_touches_kana(), "the kernels compute kana by arithmetic");

// The ASCII characters patched, each counted once.
constexpr unsigned ascii_units_patched() {
  unsigned count = 0;
  for (unsigned unit = 0; unit < 0x80; ++unit) {
    bool patched = false;
    for (const encode_patch &patch : ENCODE_PATCHES) patched |= patch.unicode == unit;
    count += patched;
  }
  return count;
}
static_assert(ascii_units_patched() == ASCII_UNITS_LETTERS_PATCH);

} // namespace

bool is_encode_variant(char letter) {
  for (const encode_patch &patch : ENCODE_PATCHES)
    if (patch.letter == letter) return true;
  return false;
}

void make_encode_table(const char *letters, std::array<uint16_t, 0x10000> &table) {
  table = unicode_to_cp932;
  for (const char *letter = letters; *letter != '\0'; ++letter)
    for (const encode_patch &patch : ENCODE_PATCHES)
      if (patch.letter == *letter) table[patch.unicode] = patch.code;
}
