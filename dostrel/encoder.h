// SPDX-License-Identifier: MIT
// An encoder: UTF-16 or UTF-8 to CP932 as one set of options chose it. A value: its settings,
// and what they make (the mapping's table, shared by every encoder without variant letters, or
// the encoder's own copy patched by its letters; the kernels' steps), so that a process may
// hold many, each with its own letters.
#pragma once

#include "audit.h"
#include "block_loop.h"
#include "kernel_interface.h"
#include "lookup_queue.h"
#include "unicode_form.h"
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

// Applies one of dostrel's letters to `settings` (L u w g x m and the variant letters, in order
// as the program takes them: of L and u, and of g and x, the later wins): false, changing
// nothing, when it is none.
bool add_encoder_letter(encoder_settings &settings, char letter);

struct encoder {
  encoder_settings settings;
  std::unique_ptr<std::array<uint16_t, 0x10000>> own_table; // only with variant letters
  std::unique_ptr<uint32_t[]> steps;                        // the portable kernel's, by unit
  std::unique_ptr<lookup_queue> queue; // room for the lookups a kernel tier queues
  encode_setup setup;                  // what the kernels and the rules read
  audit_state audit; // with settings.audit: where the input stands, where items go
  // The current input.
  chunk_state chunks;        // a character cut by the end of a chunk
  kernel_state kernel;       // what the kernel tier carries from one call to the next
  int status = 0;            // the status bits so far
  bool form_settled = false; // its form is known (by its byte order mark, or the settings)
  unicode_form form = unicode_form::utf16_big;
};

// Makes `made` from `settings` (the letters must be variant letters).
void make_encoder(const encoder_settings &settings, encoder &made);

// Starts a new input, named `name` in the audit: its status 0, its form to be settled by its
// first bytes.
void encoder_begin(encoder &e, const char *name);

// Bytes a chunk may leave to the next (an odd byte, a high surrogate and a byte of its
// follower, a UTF-8 prefix, the start of a mark).
constexpr size_t ENCODER_MOST_CARRIED = 3;
// The most a character yields: an entity for an ASCII character (m), a reference for a character
// of the BMP above ASCII (g, x; beyond the BMP nothing or the p code, at most 2 bytes, as for a
// broken one). Per input byte, in the form where that is most, plus one step that starts before
// the end of a run and reads past it.
constexpr size_t LONGEST_ENTITY = sizeof "&quot;" - 1;
constexpr size_t LONGEST_REFERENCE = sizeof "&#65535;" - 1; // "&#xffff;" is as long
constexpr size_t LONGEST_CODE = 2;
constexpr size_t rounded_up(size_t bytes, size_t per) {
  return (bytes + per - 1) / per;
}
constexpr size_t ENCODER_MOST_OUTPUT_PER_BYTE =
    most_of_forms([](const unicode_form_traits &traits) {
      const size_t entity = rounded_up(LONGEST_ENTITY, traits.unit_bytes);
      const size_t reference = rounded_up(LONGEST_REFERENCE, traits.shortest_non_ascii);
      const size_t code = rounded_up(LONGEST_CODE, traits.unit_bytes);
      return entity > reference ? (entity > code ? entity : code)
                                : (reference > code ? reference : code);
    });
// The output room encode_chunk needs.
constexpr size_t ENCODER_LEAST_ROOM =
    LEAST_ROOM<ENCODER_MOST_CARRIED, ENCODER_MOST_OUTPUT_PER_BYTE, KERNEL_OVERWRITE>;

// Converts the `size` bytes at `in` into the `room` bytes at `to` (advanced; at least
// ENCODER_LEAST_ROOM): returns the bytes taken, all of them unless the room ran out (a
// character cut by the chunk's end is kept, and finished by the next chunk). With `final` (the
// input ends with this chunk) a character still cut is reported and STATUS_TRUNCATED set.
size_t encode_chunk(encoder &e, const unsigned char *in, size_t size, bool final,
                    unsigned char *&to, size_t room);
