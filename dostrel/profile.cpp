// SPDX-License-Identifier: MIT
// dostrel's options: L, g, x, m and the variant letters; p, h and ? belong to the front end.
#include "dostrel_settings.h"
#include "encode.h"

bool input_little_endian = false;
reference_kind reference_mode = reference_kind::none;
bool escape_markup = false;

namespace {

bool apply_dostrel_letter(char letter) {
  switch (letter) {
  case 'L':
    input_little_endian = true;
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
    return apply_encode_variant(letter);
  }
}

constexpr char USAGE[] = "dostrel [-p code|-g] [-gxLyrzsoijevbdtfnavkqm] [files...]\n";
static_assert(usage_lists_letters(USAGE, DOSTREL_LETTERS));

} // namespace

const program_profile dostrel_profile = {
    USAGE,
    apply_dostrel_letter,
    0x10000, // every code up to 0xFFFF, and any negative value
    prepare_encode_stream,
    nullptr,
    encode_stream,
};
