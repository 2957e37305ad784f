// SPDX-License-Identifier: MIT
// varnok's decoder made from its options, and the loop that feeds it the program's inputs.
#include "audit.h"
#include "block_loop.h"
#include "decode.h"
#include "decoder.h"

namespace {

decoder made_decoder; // made from the program's options by prepare_decode_stream

} // namespace

int decode_with(decoder &d, input_stream &in) {
  set_input_binary(in);
  decoder_begin(d, in.name);
  convert_blocks<DECODER_LEAST_ROOM>(
      in, [&](const unsigned char *block, size_t size, bool final, unsigned char *&to,
              size_t room) { return decode_chunk(d, block, size, final, to, room); });
  // An input that ended by an error, or whose output failed, may end inside a character.
  return d.status | (d.chunks.carried_count != 0 ? STATUS_TRUNCATED : 0);
}

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

int decode_stream(input_stream &in) {
  // The p value and w are read as they stand now: the tests set them between inputs.
  made_decoder.settings.replace = replace_enabled;
  made_decoder.settings.replacement = replace_code;
  made_decoder.audit.sink = audit_enabled ? audit_line : nullptr;
  const int status = decode_with(made_decoder, in);
  audit_set_dropped(made_decoder.audit.dropped);
  return status;
}
