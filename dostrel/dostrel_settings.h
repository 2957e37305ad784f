// SPDX-License-Identifier: MIT
// Everything dostrel's options set: the shared p value, its own letters' settings and variant
// letters, and the profile that ties them to the front end. The program makes its encoder from
// them.
#pragma once

#include "encoder.h"
#include "profile.h"
#include "shared_settings.h"

extern encoder_settings dostrel_options; // all the letters chose

// Every letter of dostrel besides p, h and ?, as the usage text lists them: the settings g, x,
// L, u, w (the audit), then the variant letters of the encode table and m (v stands twice in the
// usage).
constexpr char DOSTREL_LETTERS[] = "gxLuwyrzsoijevbdtfnavkqm";

extern const program_profile dostrel_profile;

// Brings back the settings and encode table of a fresh process, prepared for converting
// (tests and fuzz targets).
void reset_dostrel_state();
