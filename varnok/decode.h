// SPDX-License-Identifier: MIT
// varnok's converter: CP932 bytes in, UTF-16 out.
#pragma once

#include "input.h"
#include "status.h"
#include "varnok_settings.h"

#include <cstdint>

// Status bits of decode_stream, ORed together; 0 is a clean conversion. STATUS_TRUNCATED (2,
// the shared front end's): the input ended right after a lead byte.
constexpr int STATUS_INVALID = 4; // a byte that cannot start a character, or a bad trail byte
constexpr int STATUS_RANGE = 8;   // a value above U+10FFFF reached the writer and was dropped

// Writes `value` as UTF-16 at `to` in the byte order of the run: one unit (the low 16 bits)
// below 0x10000, negative values included; a surrogate pair up to 0x10FFFF; nothing above,
// adding STATUS_RANGE to `status`. Returns the end of what it wrote (at most 4 bytes).
unsigned char *put_utf16(unsigned char *to, int32_t value, int &status);

// Converts `in` from its position to its end onto standard output; returns the status bits.
int decode_stream(input_stream &in);
