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

struct decoder {
  decoder_settings settings;
  std::unique_ptr<decode_tables> own_tables; // only with variant letters
  decode_setup setup;                        // what the kernels and the rules read
  audit_state audit;  // with settings.audit: where the input stands, where items go
  chunk_state chunks; // a character cut by the end of a chunk
};

// Makes `made` from `settings` (the letters must be variant letters).
void make_decoder(const decoder_settings &settings, decoder &made);
