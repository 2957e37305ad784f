// SPDX-License-Identifier: MIT
// CP932 to UTF-16 or UTF-8, the portable way: ASCII 16 bytes a step, runs of two-byte
// characters in a tight loop, other one-byte characters by the table.
// Only tier.cpp files include this: what it defines is internal to them, so that the compiler
// specialises and inlines it freely there.
#pragma once

#include "ascii_runs.h"
#include "unicode_units.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace portable {
namespace {

constexpr int16_t LEAD_BYTE = -1;    // in the single-byte table
constexpr int16_t NO_CHARACTER = -1; // in the double-byte table
constexpr unsigned DOUBLE_FIRST = 0x8140;

// Decodes the mapped two-byte characters that begin at `from` before `stop` and returns where
// they end: at a byte that is no lead byte, a pair that is not mapped or not whole, or `stop`.
// Two-byte characters come in runs (kana, kanji), and staying in this loop for the run keeps
// its branches predictable. The entries of the trail bytes 0x7F and 0xFD-0xFF are unmapped, so
// one comparison guards the lookup.
template <unicode_form FORM>
inline const unsigned char *decode_pairs(const unsigned char *from, const unsigned char *stop,
                                         const unsigned char *end, unsigned char *&to,
                                         const decode_setup &setup) {
  const unsigned char *const last = std::min(stop, end - 1); // a pair must begin before it
  unsigned char *out = to; // a local copy the byte stores cannot alias
  while (from < last) {
    const unsigned lead = from[0];
    const unsigned trail = from[1];
    if (setup.single[lead] != LEAD_BYTE || trail < 0x40) break;
    if constexpr (FORM == unicode_form::utf8) {
      // The bytes ready made: one load and one store, with no branch on the length.
      const uint32_t bytes = setup.utf8_double[(lead << 8 | trail) - DOUBLE_FIRST];
      if (bytes == 0) break;
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &bytes, 4);
      } else {
        out[0] = static_cast<unsigned char>(bytes), out[1] = static_cast<unsigned char>(bytes >> 8);
        out[2] = static_cast<unsigned char>(bytes >> 16);
      }
      out += bytes >> 24;
    } else {
      const int16_t mapped = setup.double_table[(lead << 8 | trail) - DOUBLE_FIRST];
      if (mapped == NO_CHARACTER) break;
      out = store_bmp<FORM>(out, static_cast<uint16_t>(mapped));
    }
    from += 2;
  }
  to = out;
  return from;
}

// The kernel's runs of ASCII with letters that change it, for UTF-8, made once a call from the
// letters; a tier may run the kernel with runs of its own (a type with the same members).
struct patched_runs {
  ascii_patches patches; // a copy, which the output's byte stores cannot alias

  explicit patched_runs(const ascii_patches &letters) : patches(letters) {}
  size_t copy(const unsigned char *from, const unsigned char *stop,
              const unsigned char *readable_end, unsigned char *&to) const {
    return ascii_kernel::copy_patched_ascii(from, stop, readable_end, to, patches);
  }
};

template <unicode_form FORM, typename PATCHED_RUNS = patched_runs>
inline size_t decode_cp932(const unsigned char *from, size_t size, size_t readable,
                           unsigned char *&to, kernel_state &, const decode_setup &setup) {
  const unsigned char *at = from;
  const unsigned char *const stop = from + size, *const end = from + readable;
  unsigned char *out = to;
  const PATCHED_RUNS runs(setup.patches);
  while (at < stop) {
    const unsigned byte = *at;
    if (byte < 0x80) {
      size_t count;
      if constexpr (FORM == unicode_form::utf8) { // the same bytes, but for the patched ones
        if (setup.patches.count == 0) {
          count = ascii_kernel::copy_ascii(at, stop, out, setup.utf8_stops);
          out += count;
        } else { // their characters written in the run (y, o), not by leaving it
          count = runs.copy(at, stop, end, out);
        }
      } else {
        count = ascii_kernel::widen_ascii<FORM>(at, stop, out, setup.patches);
        out += 2 * count;
      }
      at += count;
      if (count != 0) continue;
    }
    const unsigned value = static_cast<uint16_t>(setup.single[byte]);
    if (value < 0xFFFE) { // a one-byte character
      out = store_bmp<FORM>(out, value);
      ++at;
      continue;
    }
    if (value != static_cast<uint16_t>(LEAD_BYTE)) break; // an invalid byte: the rules
    const unsigned char *const after_run = decode_pairs<FORM>(at, stop, end, out, setup);
    if (after_run == at) break; // a bad trail byte, no character, or no trail byte yet
    at = after_run;
  }
  to = out;
  return static_cast<size_t>(at - from);
}

} // namespace
} // namespace portable
