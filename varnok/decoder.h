// SPDX-License-Identifier: MIT
// A decoder: CP932 to UTF-16 or UTF-8 as one set of options chose it. A value: its settings,
// and the tables they make (the mapping's own, shared by every decoder without variant letters,
// or the decoder's own copy patched by its letters), so that a process may hold many, each with
// its own letters.
#pragma once

#include "audit.h"
#include "block_loop.h"
#include "cp932_decode.h"
#include "kernel_interface.h"
#include "lookup_queue.h"
#include "unicode_form.h"
#include "variant_letters.h"

#include <cstdint>
#include <memory>

struct decoder_settings {
  unicode_form form = unicode_form::utf16_big; // l, u
  bool mark = false;                           // b: a byte order mark before the first output
  bool replace = false;                        // p: a value for what yields no character
  int32_t replacement = 0;
  bool audit = false;      // w: every item dropped or replaced is reported
  variant_letters letters; // c y o v z e d f j s a k
};

// Applies one of varnok's letters to `settings` (b c l u w and the variant letters, in order as
// the program takes them: of l and u the later wins): false, changing nothing, when it is none.
bool add_decoder_letter(decoder_settings &settings, char letter);

// True when a decoder writing `form` can write `value` for what has no character: any value
// below 0x110000 in UTF-16 (a negative one writes its low 16 bits), a Unicode scalar value in
// UTF-8.
bool decoder_replacement_fits(unicode_form form, int32_t value);

struct decoder {
  decoder_settings settings;
  std::unique_ptr<decode_tables> own_tables; // only with variant letters
  decode_setup setup;                        // what the kernels and the rules read
  std::unique_ptr<lookup_queue> queue;       // room for the lookups a kernel tier queues
  audit_state audit; // with settings.audit: where the input stands, where items go
  // The current input.
  chunk_state chunks;  // a character cut by the end of a chunk
  kernel_state kernel; // what the kernel tier carries from one call to the next
  int status = 0;      // the status bits so far
  bool mark_pending = false;
};

// Makes `made` from `settings` (the letters must be variant letters).
void make_decoder(const decoder_settings &settings, decoder &made);

// Starts a new input, named `name` in the audit: its status 0, its mark (b) to be written first.
void decoder_begin(decoder &d, const char *name);

// The output room decode_chunk needs.
constexpr size_t DECODER_LEAST_ROOM = LEAST_ROOM<1, 4, KERNEL_OVERWRITE> + 4;

// Converts the `size` bytes at `in` into the `room` bytes at `to` (advanced; at least
// DECODER_LEAST_ROOM): returns the bytes taken, all of them unless the room ran out (a
// character cut by the chunk's end is kept, and finished by the next chunk). With `final` (the
// input ends with this chunk) a character still cut is reported and STATUS_TRUNCATED set.
size_t decode_chunk(decoder &d, const unsigned char *in, size_t size, bool final,
                    unsigned char *&to, size_t room);
