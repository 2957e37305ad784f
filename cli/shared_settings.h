// SPDX-License-Identifier: MIT
// Settings shared by both programs, set while options are scanned and read by the converters.
#pragma once

#include <cstdint>

extern bool replace_enabled;     // the letter p was given
extern int32_t replace_code;     // varnok: a Unicode value; dostrel: a CP932 code
extern const char *replace_text; // the argument that set replace_code, for messages
extern bool in_place;            // --in-place: each file is replaced by its conversion
extern bool audit_enabled;       // w: a line on standard error for each loss

// These back to their values at start (tests and fuzz targets).
void reset_shared_settings();
