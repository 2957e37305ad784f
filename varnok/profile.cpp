// SPDX-License-Identifier: MIT
// varnok's options: b, l, u, w and the variant letters; p, h and ? belong to the shared front end.
#include "audit.h"
#include "cp932_decode.h"
#include "decode.h"
#include "output.h"
#include "varnok_settings.h"

bool little_endian = false;
bool utf8_output = false;
bool write_bom = false;
variant_letters decode_letters;
decoder_settings varnok_options;

namespace {

// The letter goes to the settings the decoder is made from, and what it chose is kept in the
// program's settings too.
bool apply_varnok_letter(char letter) {
  if (!add_decoder_letter(varnok_options, letter)) return false;
  write_bom = varnok_options.mark;
  little_endian = varnok_options.form == unicode_form::utf16_little;
  utf8_output = varnok_options.form == unicode_form::utf8;
  audit_enabled |= varnok_options.audit;
  decode_letters = varnok_options.letters;
  return true;
}

// UTF-8 can hold only Unicode scalar values; UTF-16 takes the low 16 bits of any other.
} // namespace

unicode_form output_form() {
  return utf8_output     ? unicode_form::utf8
         : little_endian ? unicode_form::utf16_little
                         : unicode_form::utf16_big;
}

namespace {

bool replacement_fits_output() {
  if (!utf8_output || !replace_enabled) return true;
  return replace_code >= 0 && replace_code <= 0x10FFFF &&
         !(replace_code >= 0xD800 && replace_code <= 0xDFFF);
}

// Under --in-place UTF-16 always begins with a mark: UTF-16 with no 00 byte (kanji and kana
// alone, no line feed) can also be read as CP932, and only the mark tells a second run that
// the file is converted already.
void put_byte_order_mark() {
  if (!write_bom && !(in_place && !utf8_output)) return;
  const unicode_form_traits &traits = traits_of(output_form());
  output_bytes(traits.mark, traits.mark_bytes);
}

constexpr char USAGE[] = "varnok [-p code] [-bcluwyovzedfjsak] [--in-place] [files...]\n";
static_assert(usage_lists_letters(USAGE, VARNOK_LETTERS));

} // namespace

const program_profile varnok_profile = {
    USAGE,
    apply_varnok_letter,
    0x110000, // every Unicode scalar value, and any negative value
    replacement_fits_output,
    prepare_decode_stream,
    put_byte_order_mark,
    decode_stream,
    varnok_in_place_refusal,
};
