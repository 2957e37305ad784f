// SPDX-License-Identifier: MIT
// What the kernels read, made once from the tables as the letters left them, after the options
// are scanned and before the first conversion.
#pragma once

#include "kernel_interface.h"

// From varnok's tables; `utf8_double` is their UTF-8 table when the output is UTF-8, else null.
decode_setup make_decode_setup(const int16_t *single, const int16_t *double_table,
                               const uint32_t *utf8_double);

// From dostrel's table; `rules_units` lists units that have a code but that the rules must
// write all the same (the markup characters with m). Also makes the portable tier's steps, in
// `steps` (0x10000 of them), which the setup points to.
encode_setup make_encode_setup(const uint16_t *table, const uint16_t *rules_units,
                               size_t rules_count, uint32_t *steps);
