// SPDX-License-Identifier: MIT
// dostrel's encoder made from its options, and the loop that feeds it the program's inputs.
#include "encode.h"
#include "program_input.h"

namespace {

encoder made_encoder; // made from the program's options by prepare_encode_stream

} // namespace

void prepare_encode_stream() {
  encoder_settings settings = dostrel_options;
  // Every loss is counted (--in-place decides by it); lines are written with w.
  settings.audit = true;
  make_encoder(settings, made_encoder);
}

const encoder &program_encoder() {
  return made_encoder;
}

int encode_stream(input_stream &in, program_io &io) {
  return convert_program_input<ENCODER_LEAST_ROOM>(made_encoder, in, io, encoder_begin,
                                                   encode_chunk);
}
