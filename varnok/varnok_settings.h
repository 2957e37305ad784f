// SPDX-License-Identifier: MIT
// Everything varnok's options set: the shared p value, its own letters' settings (the variant
// letters write into the decode tables), and the profile that ties them to the front end.
#pragma once

#include "decoder.h"
#include "profile.h"
#include "shared_settings.h"
#include "unicode_form.h"
#include "variant_letters.h"

extern decoder_settings varnok_options; // all the letters chose

// Every letter of varnok besides p, h and ?: the settings above and w (the audit), then the
// variant letters of
// the decode tables. The usage text lists them in this order.
constexpr char VARNOK_LETTERS[] = "bcluwyovzedfjsak";

extern const program_profile varnok_profile;

// Brings back the settings and decode tables of a fresh process, prepared for converting
// (tests and fuzz targets).
void reset_varnok_state();
