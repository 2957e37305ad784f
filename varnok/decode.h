// SPDX-License-Identifier: MIT
// varnok's converter: CP932 bytes in, UTF-16 or UTF-8 out.
#pragma once

#include "block_loop.h"
#include "decoder.h"
#include "input.h"
#include "status.h"
#include "varnok_settings.h"

#include <cstdint>

// Status bits of decode_stream (cli/status.h), ORed together; 0 is a clean conversion.
// STATUS_TRUNCATED: the input ended right after a lead byte. STATUS_INVALID: a byte that
// cannot start a character, or a bad trail byte.

// Makes what the conversion reads from the tables and settings as the options left them; run
// once after the options are scanned (and by reset_varnok_state).
void prepare_decode_stream();

// Converts `in` from its position to its end onto io's output with the program's decoder,
// made from its options; returns the status bits. Its losses in `in` are then counted in
// program_decoder().audit.dropped.
int decode_stream(input_stream &in, program_io &io);

// The decoder the program made from its options (tests read its tables).
const decoder &program_decoder();

// For --in-place: why a file must stay as it is (it is no CP932 text: a byte order mark, a 00
// byte, well-formed UTF-8 beyond ASCII), or null. Reads the input.
const char *varnok_in_place_refusal(input_stream &in);
