// SPDX-License-Identifier: MIT
// UTF-16 or UTF-8 to CP932, the portable way: ASCII 16 units a step, runs of two-byte codes in a
// tight loop, and mixed text with the branch-free steps, 32 units a batch checked once for a unit
// that needs the rules.
// Only tier.cpp files include this: what it defines is internal to them, so that the compiler
// specialises and inlines it freely there.
#pragma once

#include "ascii_runs.h"
#include "encode_steps.h"
#include "unicode_units.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace portable {
namespace {

constexpr uint16_t NO_CODE = 0xFFFF;
constexpr size_t STEP_BATCH_UNITS = KERNEL_BLOCK / 2;

// Encodes the characters with two-byte codes that begin at `from` before `stop`, and returns
// where they end. Kana and kanji come in runs; staying in this loop for the run keeps its
// branches predictable. Only units with a code reach the steps' batches, so the markup
// characters (one-byte codes) never pass here.
template <unicode_form FORM>
inline const unsigned char *encode_pairs(const unsigned char *from, const unsigned char *stop,
                                         const unsigned char *end, unsigned char *&to,
                                         const uint16_t *table) {
  const unsigned char *const last = std::min(stop, end - 1); // a unit must begin before it
  unsigned char *out = to; // a local copy the byte stores cannot alias
  while (from < last) {
    const unsigned code = table[load_unit<FORM>(from)];
    // code < 0x100 or code == NO_CODE, in 32-bit arithmetic: 16-bit operations with 16-bit
    // immediates measured up to a third slower here (length-changing prefixes).
    if (code - 0x100 >= NO_CODE - 0x100) break;
    store_unit<unicode_form::utf16_big>(out, code); // lead byte first, in one store
    out += 2;
    from += 2;
  }
  to = out;
  return from;
}

// Writes the bytes of one step at `out` (and up to two more that the next step overwrites).
inline unsigned char *put_step(unsigned char *out, uint32_t step) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &step, 4);
  } else {
    out[0] = static_cast<unsigned char>(step);
    out[1] = static_cast<unsigned char>(step >> 8);
  }
  return out + ((step >> 16) & 3);
}

// Encodes whole batches of 32 units at `from` (`units` of them readable) to `to`; returns the
// units done and advances `to`. A batch that holds a unit for the rules is left undone.
template <unicode_form FORM>
inline size_t encode_with_steps(const unsigned char *from, size_t units, const uint32_t *steps,
                                unsigned char *&to) {
  size_t done = 0;
  unsigned char *out = to;
  while (units - done >= STEP_BATCH_UNITS) {
    unsigned char *const batch_out = out;
    uint32_t seen = 0;
    for (size_t k = 0; k < STEP_BATCH_UNITS; ++k) {
      // The two bytes are loaded one by one: a 16-bit load with a byte swap can become a
      // partial-register write that chains the iterations.
      const uint32_t step = steps[load_unit<FORM>(from + 2 * (done + k))];
      seen |= step;
      out = put_step(out, step);
    }
    if ((seen & ENCODE_STEP_RULES) != 0) {
      out = batch_out;
      break;
    }
    done += STEP_BATCH_UNITS;
  }
  to = out;
  return done;
}

// Encodes the units that begin in [from, limit) one at a time by their steps; returns where it
// stopped: `limit`, or a unit for the rules.
template <unicode_form FORM>
inline const unsigned char *encode_singles(const unsigned char *from, const unsigned char *limit,
                                           unsigned char *&to, const uint32_t *steps) {
  unsigned char *out = to;
  while (from < limit) {
    const uint32_t step = steps[load_unit<FORM>(from)];
    if ((step & ENCODE_STEP_RULES) != 0) break;
    out = put_step(out, step);
    from += 2;
  }
  to = out;
  return from;
}

// From UTF-8: ASCII 16 bytes a step, then one well-formed two- or three-byte sequence at a
// time by its step; four-byte sequences (beyond the BMP), ill-formed and cut ones go to the
// rules.
inline size_t encode_from_utf8(const unsigned char *from, size_t size, size_t readable,
                               unsigned char *&to, const encode_setup &setup) {
  const unsigned char *at = from;
  const unsigned char *const stop = from + size, *const end = from + readable;
  unsigned char *out = to;
  const uint32_t *const steps = setup.steps; // a local copy the byte stores cannot alias
  while (at < stop) {
    const unsigned lead = *at;
    unsigned unit, length;
    if (lead < 0x80) {
      const size_t ascii = ascii_kernel::copy_ascii(at, stop, out, setup.stops);
      at += ascii;
      out += ascii;
      if (ascii != 0) continue;
      unit = lead, length = 1;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      // Three-byte sequences (kana, kanji) come in runs: staying in this loop for the run
      // keeps its branches predictable.
      const unsigned char *const run_start = at;
      const unsigned char *const last = end - at >= 3 ? std::min(stop, end - 2) : at;
      while (at < last) {
        const unsigned first = at[0], second = at[1], third = at[2];
        if (first < 0xE0 || first >= 0xF0 || (second & 0xC0) != 0x80 || (third & 0xC0) != 0x80 ||
            (first == 0xE0 && second < 0xA0) || (first == 0xED && second > 0x9F))
          break;
        const uint32_t step = steps[(first & 0x0F) << 12 | (second & 0x3F) << 6 | (third & 0x3F)];
        if ((step & ENCODE_STEP_RULES) != 0) break;
        out = put_step(out, step);
        at += 3;
      }
      if (at == run_start) break;
      continue;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      if (end - at < 2 || (at[1] & 0xC0) != 0x80) break;
      unit = (lead & 0x1F) << 6 | (at[1] & 0x3Fu), length = 2;
    } else {
      break;
    }
    const uint32_t step = steps[unit];
    if ((step & ENCODE_STEP_RULES) != 0) break;
    out = put_step(out, step);
    at += length;
  }
  to = out;
  return static_cast<size_t>(at - from);
}

template <unicode_form FORM>
inline size_t encode_cp932(const unsigned char *from, size_t size, size_t readable,
                           unsigned char *&to, kernel_state &, const encode_setup &setup) {
  if constexpr (FORM == unicode_form::utf8)
    return encode_from_utf8(from, size, readable, to, setup);
  const unsigned char *at = from;
  const unsigned char *const stop = from + size, *const end = from + readable;
  unsigned char *out = to;
  const uint16_t *const table = setup.table; // local copies the byte stores cannot alias
  const uint32_t *const steps = setup.steps;
  while (at < stop && end - at >= 2) {
    if (load_unit<FORM>(at) < 0x80) {
      const size_t ascii = ascii_kernel::narrow_ascii<FORM>(at, stop, out, setup.stops);
      at += 2 * ascii;
      out += ascii;
      if (ascii >= 16 || at >= stop) continue;
    }
    // Long runs of two-byte codes are fastest in their own loop, mixed text in the steps.
    const unsigned char *const after_pairs = encode_pairs<FORM>(at, stop, end, out, table);
    if (after_pairs - at >= static_cast<ptrdiff_t>(KERNEL_BLOCK)) {
      at = after_pairs;
      continue;
    }
    at = after_pairs;
    // Whole batches by the steps; then, a batch that holds a unit for the rules, or the last
    // units of the range, a unit at a time up to the unit for the rules.
    const bool whole_batch = stop - at >= static_cast<ptrdiff_t>(KERNEL_BLOCK);
    if (whole_batch) {
      const size_t units =
          encode_with_steps<FORM>(at, static_cast<size_t>(stop - at) / 2, steps, out);
      at += 2 * units;
      if (units != 0) continue;
    }
    const unsigned char *const limit = whole_batch ? at + KERNEL_BLOCK : std::min(stop, end - 1);
    const unsigned char *const after = encode_singles<FORM>(at, limit, out, steps);
    const bool stopped = after < limit;
    at = after;
    if (stopped || !whole_batch) break;
  }
  to = out;
  return static_cast<size_t>(at - from);
}

} // namespace
} // namespace portable
