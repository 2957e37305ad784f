// SPDX-License-Identifier: MIT
// varnok's options: b, l and the variant letters; p, h and ? belong to the shared front end.
#include "cp932_decode.h"
#include "decode.h"
#include "output.h"
#include "varnok_settings.h"

bool little_endian = false;
bool write_bom = false;

namespace {

bool apply_varnok_letter(char letter) {
  switch (letter) {
  case 'b':
    write_bom = true;
    return true;
  case 'l':
    little_endian = true;
    return true;
  default:
    return apply_decode_variant(letter);
  }
}

void put_byte_order_mark() {
  if (!write_bom) return;
  static const unsigned char big[2] = {0xFE, 0xFF};
  static const unsigned char little[2] = {0xFF, 0xFE};
  output_bytes(little_endian ? little : big, 2);
}

constexpr char USAGE[] = "varnok [-p code] [-blyovzedfjsak] [files...]\n";
static_assert(usage_lists_letters(USAGE, VARNOK_LETTERS));

} // namespace

const program_profile varnok_profile = {
    USAGE,
    apply_varnok_letter,
    0x110000, // every Unicode scalar value, and any negative value
    prepare_decode_stream,
    put_byte_order_mark,
    decode_stream,
};
