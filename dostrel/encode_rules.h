// SPDX-License-Identifier: MIT
// The rules an encoder writes what its kernel tier refuses by: codes, the replacement,
// references and entities, each loss reported to the encoder's audit.
#pragma once

#include "audit.h"
#include "cp932_encode.h"
#include "encoder.h"

#include <cstdint>

// The marker handed to put_code for a character or broken surrogate that has no code.
constexpr int32_t UNMAPPED = -1;

// Writes one CP932 code at `to`: one byte below 0x100, else the low 16 bits as two bytes (lead
// byte first). UNMAPPED writes the replacement code when p was given, nothing otherwise; the
// replacement is written as it is, never looked up or escaped. Returns the end of the output.
inline unsigned char *put_code(const encoder_settings &settings, unsigned char *to, int32_t code) {
  if (code == UNMAPPED) {
    if (!settings.replace) return to;
    code = settings.replacement;
  }
  if (code >= 0 && code <= 0xFF) {
    *to = static_cast<unsigned char>(code);
    return to + 1;
  }
  to[0] = static_cast<unsigned char>(code >> 8);
  to[1] = static_cast<unsigned char>(code);
  return to + 2;
}

// Writes "&#N;" (`hexadecimal` false) or "&#xN;" (lower-case digits) for a BMP value.
unsigned char *put_reference(unsigned char *to, unsigned value, bool hexadecimal);
// Writes "&quot;", "&amp;", "&lt;" or "&gt;" for one of the four markup characters.
unsigned char *put_entity(unsigned char *to, unsigned character);

inline bool is_markup(unsigned character) {
  return character == 0x22 || character == 0x26 || character == 0x3C || character == 0x3E;
}

// Writes one Unicode scalar value, the `length` bytes at `at` in the input: its code, a
// reference, an entity, the replacement, or nothing, by the settings; with w, the last two are
// reported. Supplementary characters are never looked up nor referenced.
inline unsigned char *put_unicode(encoder &e, unsigned char *to, int32_t character,
                                  const unsigned char *at, size_t length) {
  const encoder_settings &settings = e.settings;
  if (character < 0x10000) {
    const unsigned code = e.setup.table[static_cast<unsigned>(character)];
    if (settings.references != reference_kind::none && code == NO_CODE)
      return put_reference(to, static_cast<unsigned>(character),
                           settings.references == reference_kind::hexadecimal);
    if (settings.escape_markup && is_markup(static_cast<unsigned>(character)))
      return put_entity(to, static_cast<unsigned>(character));
    if (code != NO_CODE) return put_code(settings, to, static_cast<int32_t>(code));
  }
  if (settings.audit)
    audit_loss(e.audit, at, length, settings.replace,
               {{"U+", static_cast<uint32_t>(character), 4},
                {character >= 0x10000 ? " is beyond the BMP" : " has no code"}});
  return put_code(settings, to, UNMAPPED);
}
