// SPDX-License-Identifier: MIT
#include "encoder.h"

#include "cp932_encode.h"
#include "setup.h"

namespace {

// The characters m escapes: the rules write them, so the kernels stop at them.
constexpr uint16_t MARKUP[] = {0x22, 0x26, 0x3C, 0x3E};
constexpr size_t MARKUP_COUNT = sizeof MARKUP / sizeof MARKUP[0];
static_assert(ASCII_UNITS_LETTERS_PATCH + MARKUP_COUNT <= MOST_ASCII_STOPS,
              "the kernels' ASCII stops");

} // namespace

bool add_encoder_letter(encoder_settings &settings, char letter) {
  switch (letter) {
  case 'L': // L and u choose one form for unmarked input: the later one wins
    settings.little_endian = true;
    settings.utf8 = false;
    return true;
  case 'u':
    settings.utf8 = true;
    return true;
  case 'w':
    settings.audit = true;
    return true;
  case 'g':
    settings.references = reference_kind::decimal;
    return true;
  case 'x':
    settings.references = reference_kind::hexadecimal;
    return true;
  case 'm':
    settings.escape_markup = true;
    return true;
  default:
    if (!is_encode_variant(letter)) return false;
    add_variant_letter(settings.letters, letter);
    return true;
  }
}

void make_encoder(const encoder_settings &settings, encoder &made) {
  made.settings = settings;
  const uint16_t *table = unicode_to_cp932.data();
  made.own_table.reset();
  if (settings.letters.text[0] != '\0') {
    made.own_table = std::make_unique<std::array<uint16_t, 0x10000>>();
    make_encode_table(settings.letters.text, *made.own_table);
    table = made.own_table->data();
  }
  if (made.queue == nullptr) made.queue = std::make_unique<lookup_queue>();
  if (made.steps == nullptr) made.steps = std::make_unique<uint32_t[]>(0x10000);
  made.setup =
      make_encode_setup(table, MARKUP, settings.escape_markup ? MARKUP_COUNT : 0, made.steps.get());
}
