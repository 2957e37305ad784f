// SPDX-License-Identifier: MIT
// dostrel's options: L, u, w, g, x, m and the variant letters; p, h and ? belong to the front end.
#include "audit.h"
#include "dostrel_settings.h"
#include "encode.h"

bool input_little_endian = false;
bool utf8_input = false;
reference_kind reference_mode = reference_kind::none;
bool escape_markup = false;
variant_letters encode_letters;

namespace {

bool apply_dostrel_letter(char letter) {
  switch (letter) {
  case 'L': // L and u choose one form for unmarked input: the later one wins
    input_little_endian = true;
    utf8_input = false;
    return true;
  case 'u':
    utf8_input = true;
    return true;
  case 'w':
    audit_enabled = true;
    return true;
  case 'g':
    reference_mode = reference_kind::decimal;
    return true;
  case 'x':
    reference_mode = reference_kind::hexadecimal;
    return true;
  case 'm':
    escape_markup = true;
    return true;
  default:
    if (!is_encode_variant(letter)) return false;
    add_variant_letter(encode_letters, letter);
    return true;
  }
}

constexpr char USAGE[] =
    "dostrel [-p code|-g] [-gxLuwyrzsoijevbdtfnavkqm] [--in-place] [files...]\n";
static_assert(usage_lists_letters(USAGE, DOSTREL_LETTERS));

} // namespace

const program_profile dostrel_profile = {
    USAGE,   apply_dostrel_letter,
    0x10000, // every code up to 0xFFFF, and any negative value
    nullptr, prepare_encode_stream, nullptr, encode_stream, dostrel_in_place_refusal,
};
