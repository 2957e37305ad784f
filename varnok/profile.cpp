// SPDX-License-Identifier: MIT
// varnok's options: b, l, u, w and the variant letters; p, h and ? belong to the shared front end.
#include "cp932_decode.h"
#include "decode.h"
#include "output.h"
#include "varnok_settings.h"

decoder_settings varnok_options;

namespace {

// The letter goes to the settings the decoder is made from; w is the front end's too.
bool apply_varnok_letter(char letter) {
  if (!add_decoder_letter(varnok_options, letter)) return false;
  audit_enabled |= varnok_options.audit;
  return true;
}

// UTF-8 can hold only Unicode scalar values; UTF-16 takes the low 16 bits of any other.
bool replacement_fits_output() {
  return !replace_enabled || decoder_replacement_fits(varnok_options.form, replace_code);
}

// Under --in-place UTF-16 always begins with a mark: UTF-16 with no 00 byte (kanji and kana
// alone, no line feed) can also be read as CP932, and only the mark tells a second run that
// the file is converted already.
void put_byte_order_mark(output_stream &out) {
  const unicode_form form = varnok_options.form;
  if (!varnok_options.mark && !(in_place && form != unicode_form::utf8)) return;
  const unicode_form_traits &traits = traits_of(form);
  output_bytes(out, traits.mark, traits.mark_bytes);
}

uint64_t decoder_dropped() {
  return program_decoder().audit.dropped;
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
    decoder_dropped,
    varnok_in_place_refusal,
};
