// SPDX-License-Identifier: MIT
#include "decoder.h"

#include "setup.h"

bool add_decoder_letter(decoder_settings &settings, char letter) {
  switch (letter) {
  case 'b':
    settings.mark = true;
    return true;
  case 'l':
    settings.form = unicode_form::utf16_little;
    return true;
  case 'u':
    settings.form = unicode_form::utf8;
    return true;
  case 'w':
    settings.audit = true;
    return true;
  default:
    if (!is_decode_variant(letter)) return false;
    add_variant_letter(settings.letters, letter);
    return true;
  }
}

bool decoder_replacement_fits(unicode_form form, int32_t value) {
  if (value >= 0x110000) return false;
  return form != unicode_form::utf8 || (value >= 0 && !(value >= 0xD800 && value <= 0xDFFF));
}

void make_decoder(const decoder_settings &settings, decoder &made) {
  made.settings = settings;
  const int16_t *single = cp932_single.data(), *double_table = cp932_double.data();
  const uint32_t *double_utf8 = cp932_double_utf8.data();
  made.own_tables.reset();
  if (settings.letters.text[0] != '\0') {
    made.own_tables = std::make_unique<decode_tables>();
    make_decode_tables(settings.letters.text, *made.own_tables);
    single = made.own_tables->single.data();
    double_table = made.own_tables->double_table.data();
    double_utf8 = made.own_tables->double_utf8.data();
  }
  if (made.queue == nullptr) made.queue = std::make_unique<lookup_queue>();
  made.setup = make_decode_setup(single, double_table,
                                 settings.form == unicode_form::utf8 ? double_utf8 : nullptr);
}

void decoder_begin(decoder &d, const char *name) {
  d.chunks = {};
  d.kernel = {};
  d.kernel.queue = d.queue.get();
  d.status = 0;
  d.mark_pending = d.settings.mark;
  audit_input_begin(d.audit, name);
}
