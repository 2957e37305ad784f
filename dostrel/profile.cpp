// SPDX-License-Identifier: MIT
// dostrel's options: L, u, w, g, x, m and the variant letters; p, h and ? belong to the front end.
#include "cp932_encode.h"
#include "dostrel_settings.h"
#include "encode.h"

encoder_settings dostrel_options;

namespace {

// The letter goes to the settings the encoder is made from, and what it chose is kept in the
// program's settings too.
bool apply_dostrel_letter(char letter) {
  if (!add_encoder_letter(dostrel_options, letter)) return false;
  audit_enabled |= dostrel_options.audit;
  return true;
}

constexpr char USAGE[] =
    "dostrel [-p code|-g] [-gxLuwyrzsoijevbdtfnavkqm] [--in-place] [files...]\n";
static_assert(usage_lists_letters(USAGE, DOSTREL_LETTERS));

uint64_t encoder_dropped() {
  return program_encoder().audit.dropped;
}

} // namespace

const program_profile dostrel_profile = {
    USAGE,         apply_dostrel_letter,
    0x10000, // every code up to 0xFFFF, and any negative value
    nullptr,       prepare_encode_stream, nullptr,
    encode_stream, encoder_dropped,       dostrel_in_place_refusal,
};
