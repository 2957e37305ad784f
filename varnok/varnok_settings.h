// SPDX-License-Identifier: MIT
// Everything varnok's options set: the shared p value, its own letters' settings (the variant
// letters write into the decode tables), and the profile that ties them to the front end.
#pragma once

#include "decoder.h"
#include "profile.h"
#include "shared_settings.h"
#include "unicode_form.h"
#include "variant_letters.h"

extern bool little_endian; // l: UTF-16LE instead of UTF-16BE
extern bool utf8_output;   // u: UTF-8 instead of UTF-16 (l after it brings UTF-16LE back)
extern bool write_bom;     // b: a byte order mark before the first conversion
extern variant_letters decode_letters;  // the variant letters given
extern decoder_settings varnok_options; // all the letters chose

// The output's form, as u and l left it.
unicode_form output_form();

// Every letter of varnok besides p, h and ?: the settings above and w (the audit), then the
// variant letters of
// the decode tables. The usage text lists them in this order.
constexpr char VARNOK_LETTERS[] = "bcluwyovzedfjsak";

extern const program_profile varnok_profile;

// Brings back the settings and decode tables of a fresh process, prepared for converting
// (tests and fuzz targets).
void reset_varnok_state();
