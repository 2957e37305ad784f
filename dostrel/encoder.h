// SPDX-License-Identifier: MIT
// An encoder: UTF-16 or UTF-8 to CP932 as one set of options chose it. A value: its settings,
// and what they make (the mapping's table, shared by every encoder without variant letters, or
// the encoder's own copy patched by its letters; the kernels' steps), so that a process may
// hold many, each with its own letters.
#pragma once

#include "audit.h"
#include "block_loop.h"
#include "kernel_interface.h"
#include "variant_letters.h"

#include <array>
#include <cstdint>
#include <memory>

// What becomes of a character without a code when a reference is asked for.
enum class reference_kind {
  none = 0,        // dropped, or the p code
  decimal = 1,     // g: "&#169;"
  hexadecimal = 2, // x: "&#xa9;"
};

struct encoder_settings {
  bool little_endian = false; // L: input without a byte order mark is UTF-16LE
  bool utf8 = false;          // u: ... is UTF-8
  reference_kind references = reference_kind::none; // g, x
  bool escape_markup = false;                       // m: " & < > as entity references
  bool replace = false;                             // p: a code for what has none
  int32_t replacement = 0;
  bool audit = false;      // w: every item dropped or replaced is reported
  variant_letters letters; // y r z s o i j v e b d t f n a k q
};

struct encoder {
  encoder_settings settings;
  std::unique_ptr<std::array<uint16_t, 0x10000>> own_table; // only with variant letters
  std::unique_ptr<uint32_t[]> steps;                        // the portable kernel's, by unit
  encode_setup setup;                                       // what the kernels and the rules read
  audit_state audit;  // with settings.audit: where the input stands, where items go
  chunk_state chunks; // a character cut by the end of a chunk
};

// Makes `made` from `settings` (the letters must be variant letters).
void make_encoder(const encoder_settings &settings, encoder &made);
