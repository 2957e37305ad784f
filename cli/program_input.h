// SPDX-License-Identifier: MIT
// One input of a program through its converter (varnok's decoder, dostrel's encoder), made once
// from the program's options.
#pragma once

#include "audit.h"
#include "block_loop.h"
#include "shared_settings.h"
#include "status.h"

// Converts `in` with `c`: `begin(c, name)` starts the input, `chunk(c, block, size, final, to,
// room)` converts a chunk (LEAST bytes of room at least). The p value and w are read as they
// stand now (the tests set them between inputs); the audit's lines go to io's standard error,
// and every loss is counted in c.audit.dropped. Returns the converter's status.
template <size_t LEAST, typename CONVERTER, typename BEGIN, typename CHUNK>
int convert_program_input(CONVERTER &c, input_stream &in, program_io &io, BEGIN begin,
                          CHUNK chunk) {
  c.settings.replace = replace_enabled;
  c.settings.replacement = replace_code;
  c.audit.sink = audit_enabled ? audit_line : nullptr;
  c.audit.context = &io.log;
  set_input_binary(in);
  begin(c, in.name);
  convert_blocks<LEAST>(in, io,
                        [&](const unsigned char *block, size_t size, bool final, unsigned char *&to,
                            size_t room) { return chunk(c, block, size, final, to, room); });
  // An input that ended by an error, or whose output failed, may end inside a character.
  return c.status | (c.chunks.carried_count != 0 ? STATUS_TRUNCATED : 0);
}
