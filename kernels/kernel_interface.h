// SPDX-License-Identifier: MIT
// What every kernel tier offers: for each direction and each Unicode form, one function that
// converts as much of a range as it can and says how much it consumed. A converter calls the
// kernel, lets its own rules take the one character the kernel refused, and calls the kernel
// again; it never knows which tier runs.
//
// A tier is a folder here (portable/, avx512/) and one line in tiers.cpp.
#pragma once

#include "path_choice.h"
#include "unicode_form.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

// Kernels work on blocks of this many input bytes, and the portable kernel's ASCII runs on
// sixteenths of it.
constexpr size_t KERNEL_BLOCK = 64;
// A kernel may write up to this many bytes past the output it reports; callers keep the room.
constexpr size_t KERNEL_OVERWRITE = 64;

// What a tier carries from one call to the next within one input, and only within it: each
// input starts from a fresh one. After the tier refuses a block, the portable kernel goes on
// for a stretch before the tier tries its blocks again, so that a block it refuses is paid
// for once; the stretch doubles while refusals come close together.
// Blocks whose table lookups a tier may queue for one scalar pass (lookup_queue.h).
constexpr size_t QUEUED_CHUNK_BLOCKS = 256;

struct lookup_queue;

// Sparse blocks (ASCII with a few other characters) in a row before a tier refuses the next: in
// a long stretch of them the portable kernel's SSE2 runs are faster.
constexpr unsigned SPARSE_RUN = 4;

struct kernel_state {
  size_t portable_left = 0; // input bytes still to convert the portable way
  size_t stretch = 0;       // the portable stretch after the next refusal
  size_t gained = 0;        // bytes the tier converted since its last refusal
  // Queued lookups: the blocks of the next chunk (after a lookup that finds no character the
  // chunks start again from one block and double while they succeed, so the work thrown away
  // never exceeds the work kept), and the sparse blocks (ASCII with a few other characters)
  // since the last dense one.
  size_t chunk_blocks = QUEUED_CHUNK_BLOCKS;
  unsigned sparse_run = 0;
  lookup_queue *queue = nullptr; // the converter's room for queued lookups (a tier that queues)
  path_choice choice;            // whether the tier or the portable kernel converts now
};

// The ASCII bytes that do not decode to themselves (letters y and o), each with its unit.
constexpr unsigned MOST_ASCII_PATCHES = 4;
struct ascii_patches {
  unsigned count;
  unsigned char byte[MOST_ASCII_PATCHES];
  uint16_t unit[MOST_ASCII_PATCHES];
  uint32_t utf8[MOST_ASCII_PATCHES]; // the unit's UTF-8: its bytes, first lowest, count in 24-25
};

// The ASCII units that do not encode to themselves as one byte (letters r, i, s; the markup
// characters with m), each with its code, or STOP_NEEDS_RULES where the rules must write it (no
// code, an entity): ASCII runs stop at them.
constexpr unsigned MOST_ASCII_STOPS = 8;
constexpr uint16_t STOP_NEEDS_RULES = 0xFFFF;
struct ascii_stops {
  unsigned count;
  uint16_t unit[MOST_ASCII_STOPS];
  uint16_t code[MOST_ASCII_STOPS];
};

// What the decode kernels read, prepared once after the options are scanned.
struct decode_setup {
  const int16_t *single;       // by byte: a character, or the lead-byte (-1) or invalid (-2) mark
  const int16_t *double_table; // from code 0x8140: a character, or -1 for no character
  ascii_patches patches;
  ascii_stops utf8_stops; // the same bytes, where ASCII runs stop for UTF-8 (their length changes)
  // For UTF-8 output (else null): by code from 0x8140, the character's UTF-8 bytes in bits 0-23
  // (first byte lowest) and their count in bits 24-25; 0 for no character.
  const uint32_t *utf8_double;
};

// What the encode kernels read, prepared once after the options are scanned.
struct encode_setup {
  const uint16_t *table; // by unit: a one- or two-byte code, or 0xFFFF for none
  const uint32_t *steps; // by unit: the portable kernel's step (see portable/encode_steps.h)
  ascii_stops stops;
};

// Converts the characters that begin in the first `size` bytes at `from` (the kernel may read
// up to `readable` bytes from `from`) to `to`, advancing it. Returns the bytes consumed: it
// stops at a character that only the rules can take (an invalid byte, a code without a
// character, a surrogate...), or where the rest is too short for it to tell; a character that
// begins before `size` may end past it.
using decode_kernel = size_t (*)(const unsigned char *from, size_t size, size_t readable,
                                 unsigned char *&to, kernel_state &state,
                                 const decode_setup &setup);
using encode_kernel = size_t (*)(const unsigned char *from, size_t size, size_t readable,
                                 unsigned char *&to, kernel_state &state,
                                 const encode_setup &setup);

// A tier's kernels of one direction, one for every Unicode form: made by `make(form)` for each
// form (std::integral_constant, as per_form gives it), so that a tier cannot leave a form out
// (there is no other way to make one).
template <typename KERNEL> struct form_kernels {
  template <typename MAKE> constexpr explicit form_kernels(MAKE make) {
    const auto made = per_form(make);
    for (size_t k = 0; k < UNICODE_FORMS; ++k) kernels[k] = made[k];
  }
  constexpr KERNEL operator[](unicode_form form) const {
    return kernels[static_cast<size_t>(form)];
  }
  KERNEL kernels[UNICODE_FORMS] = {};
};

struct kernel_tier {
  const char *name;
  bool (*supported)(); // by this processor and operating system
  // Where it is supported: false when another tier of the same instructions serves this
  // processor better (the best tier is the last one that is supported and suits).
  bool (*suits)();
  form_kernels<decode_kernel> decode;
  form_kernels<encode_kernel> encode;
  // varnok's UTF-8 where a letter changes ASCII (y, o), if the tier has a kernel of its own
  // for it; else decode[utf8]. (Choosing it once per chunk keeps a test off every call.)
  decode_kernel decode_patched_utf8;
};

// The kernel `tier` decodes to `form` with, given the letters in `setup`.
inline decode_kernel decode_kernel_for(const kernel_tier &tier, unicode_form form,
                                       const decode_setup &setup) {
  if (form == unicode_form::utf8 && setup.patches.count != 0 && tier.decode_patched_utf8 != nullptr)
    return tier.decode_patched_utf8;
  return tier.decode[form];
}

// Converts with a tier's `kernel`, or, while that tier's portable stretch lasts (see
// kernel_state), with the portable tier's own kernel for the same direction and form
// (`portable`) called directly: on text full of what the rules take, each such character ends
// a call, and the tier's frame around the portable kernel cost up to an eighth there. The
// caller's loop keeps the stretch in `portable_left`, a variable of its own that stays in a
// register across its calls (state.portable_left, whose address every kernel takes, was loaded
// and stored around each one: 3% on such text); it starts from state.portable_left and goes
// back there when the loop ends.
template <typename KERNEL, typename SETUP>
inline size_t run_kernel(KERNEL kernel, KERNEL portable, const unsigned char *from, size_t size,
                         size_t readable, unsigned char *&to, kernel_state &state,
                         size_t &portable_left, const SETUP &setup) {
  size_t used = 0;
  if (portable_left != 0) {
    const size_t span = portable_left < size ? portable_left : size;
    used = portable(from, span, readable, to, state, setup);
    if (used < span) { // it stopped short at a character for the rules: the common case
      portable_left -= used;
      return used;
    }
    // It may go on past the range's end to finish a character that began in it.
    portable_left -= used < portable_left ? used : portable_left;
    if (used >= size) return used;
  }
  state.portable_left = 0;
  used += kernel(from + used, size - used, readable - used, to, state, setup);
  portable_left = state.portable_left; // a refusal starts a stretch
  return used;
}

// Converts the characters that begin in [from, stop) (the kernels may read up to `end`) to `to`,
// advancing it: with the tier's `kernel` or the portable tier's (`portable`), as the choice in
// `state` has it (path_choice.h), and each character the kernel refuses by `rules(from)`, which
// returns where the next begins, or `from` itself for a character that `end` cuts (where this
// stops). Returns where it stopped.
template <typename KERNEL, typename SETUP, typename RULES>
inline const unsigned char *convert_range(KERNEL kernel, KERNEL portable, const unsigned char *from,
                                          const unsigned char *stop, const unsigned char *end,
                                          unsigned char *&to, kernel_state &state,
                                          const SETUP &setup, RULES &&rules) {
  size_t portable_left = state.portable_left;
  path_choice &choice = state.choice;
  const bool choosing = kernel != portable; // without a tier, nothing to choose
  if (choosing) resume_choice(choice);
  bool cut = false; // at a character that `end` cuts
  // During a trial, a sample ends where it should (the kernels take a range that ends
  // anywhere) and the bytes are counted after each call.
  while (choosing && choice.sample < CHOICE_SAMPLES && from < stop && !cut) {
    const unsigned char *const start = from;
    const size_t span = std::min(choice.left, static_cast<size_t>(stop - from));
    from += run_kernel(kernel, portable, from, span, static_cast<size_t>(end - from), to, state,
                       portable_left, setup);
    if (from < start + span) { // a character for the rules
      const unsigned char *const next = rules(from);
      cut = next == from;
      from = next;
    }
    count_choice_bytes(choice, static_cast<size_t>(from - start), portable_left);
  }
  // Else the range as it comes: text full of characters for the rules, one call each, pays
  // nothing for the choice; a stretch's bytes are counted once a range.
  const unsigned char *const stretch_start = from;
  while (from < stop && !cut) {
    from += run_kernel(kernel, portable, from, static_cast<size_t>(stop - from),
                       static_cast<size_t>(end - from), to, state, portable_left, setup);
    if (from >= stop) break;
    const unsigned char *const next = rules(from);
    cut = next == from;
    from = next;
  }
  if (choosing) {
    if (from != stretch_start)
      count_choice_bytes(choice, static_cast<size_t>(from - stretch_start), portable_left);
    pause_choice(choice);
  }
  state.portable_left = portable_left;
  return from;
}
