// SPDX-License-Identifier: MIT
// dostrel's encoder made from its options, and its inputs converted with it.
#pragma once

#include "block_loop.h"
#include "dostrel_settings.h"
#include "encode_rules.h"
#include "encoder.h"
#include "input.h"
#include "status.h"

#include <cstdint>

// Makes what the conversion reads from the table and settings as the options left them; run
// once after the options are scanned (and by reset_dostrel_state).
void prepare_encode_stream();

// Converts `in` from its position to its end onto io's output with the program's encoder,
// made from its options: 0, or the bits STATUS_TRUNCATED (it ends inside a code unit, right
// after a high surrogate, or inside a UTF-8 sequence) and STATUS_INVALID (ill-formed UTF-8).
// Its losses in `in` are then counted in program_encoder().audit.dropped.
int encode_stream(input_stream &in, program_io &io);

// The encoder the program made from its options (tests read its table).
const encoder &program_encoder();

// For --in-place: why a file must stay as it is (it does not hold what the run reads: a 00 byte
// in UTF-8, none in UTF-16 without a byte order mark), or null. Reads the input.
const char *dostrel_in_place_refusal(input_stream &in);
