// SPDX-License-Identifier: MIT
// varnok's decoder made from its options, and the loop that feeds it the program's inputs.
#include "decode.h"
#include "decoder.h"
#include "program_input.h"

namespace {

decoder made_decoder; // made from the program's options by prepare_decode_stream

} // namespace

void prepare_decode_stream() {
  decoder_settings settings = varnok_options;
  // The program writes the mark itself: once before all its inputs (in place, before each).
  settings.mark = false;
  // Every loss is counted (--in-place decides by it); lines are written with w.
  settings.audit = true;
  make_decoder(settings, made_decoder);
}

const decoder &program_decoder() {
  return made_decoder;
}

int decode_stream(input_stream &in, program_io &io) {
  return convert_program_input<DECODER_LEAST_ROOM>(made_decoder, in, io, decoder_begin,
                                                   decode_chunk);
}
