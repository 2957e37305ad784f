// SPDX-License-Identifier: MIT
// dostrel's encoder made from its options, and the loop that feeds it the program's inputs.
#include "audit.h"
#include "block_loop.h"
#include "encode.h"

namespace {

encoder made_encoder; // made from the program's options by prepare_encode_stream

} // namespace

int encode_with(encoder &e, input_stream &in) {
  set_input_binary(in);
  encoder_begin(e, in.name);
  convert_blocks<ENCODER_LEAST_ROOM>(
      in, [&](const unsigned char *block, size_t size, bool final, unsigned char *&to,
              size_t room) { return encode_chunk(e, block, size, final, to, room); });
  // An input that ended by an error, or whose output failed, may end inside a character.
  return e.status | (e.chunks.carried_count != 0 ? STATUS_TRUNCATED : 0);
}

void prepare_encode_stream() {
  encoder_settings settings = dostrel_options;
  // Every loss is counted (--in-place decides by it); lines are written with w.
  settings.audit = true;
  make_encoder(settings, made_encoder);
}

const encoder &program_encoder() {
  return made_encoder;
}

int encode_stream(input_stream &in) {
  // The p value and w are read as they stand now: the tests set them between inputs.
  made_encoder.settings.replace = replace_enabled;
  made_encoder.settings.replacement = replace_code;
  made_encoder.audit.sink = audit_enabled ? audit_line : nullptr;
  const int status = encode_with(made_encoder, in);
  audit_set_dropped(made_encoder.audit.dropped);
  return status;
}
