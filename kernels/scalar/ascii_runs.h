// SPDX-License-Identifier: MIT
// Runs of ASCII, one unit at a time: the reference the SIMD versions are tested against, and
// what runs where none of them applies (compilers vectorise it somewhat).
#pragma once

#include "unicode_units.h"

#include <cstddef>

namespace scalar {

// Which of `patches` changes `byte`, or 0 when none does (a byte beyond a block's ASCII).
inline unsigned patch_of(const ascii_patches &patches, unsigned byte) {
  unsigned which = 0;
  for (unsigned p = 1; p < patches.count; ++p) which = patches.byte[p] == byte ? p : which;
  return which;
}

// Writes the UTF-8 of the patched ASCII byte `byte` (one of `patches`; three bytes are
// stored) and returns where its last one ends.
inline unsigned char *put_patched_byte(unsigned char *to, const ascii_patches &patches,
                                       unsigned byte) {
  const uint32_t bytes = patches.utf8[patch_of(patches, byte)];
  to[0] = static_cast<unsigned char>(bytes);
  to[1] = static_cast<unsigned char>(bytes >> 8);
  to[2] = static_cast<unsigned char>(bytes >> 16);
  return to + (bytes >> 24);
}

// Widens the ASCII bytes at the start of [from, stop) to UTF-16 units at `to`, each byte to
// itself or to the unit of its patch, and returns how many there were. Like the SIMD
// versions, it looks at whole blocks of 16 bytes only and stops short of a final block of
// fewer than 16 bytes, which the caller decodes one by one.
template <unicode_form FORM>
inline size_t widen_ascii(const unsigned char *from, const unsigned char *stop, unsigned char *to,
                          const ascii_patches &patches) {
  size_t done = 0;
  while (static_cast<size_t>(stop - from) - done >= 16) {
    for (size_t k = 0; k < 16; ++k) {
      const unsigned char byte = from[done + k];
      if (byte >= 0x80) return done + k;
      unsigned unit = byte;
      for (unsigned p = 0; p < patches.count; ++p)
        if (byte == patches.byte[p]) unit = patches.unit[p];
      store_unit<FORM>(to + 2 * (done + k), unit);
    }
    done += 16;
  }
  return done;
}

// Narrows the UTF-16 units below U+0080 at the start of [from, stop) to bytes at `to` and
// returns how many units there were; it stops at a unit of `stops`, and short of a final block
// of fewer than 32 bytes.
template <unicode_form FORM>
inline size_t narrow_ascii(const unsigned char *from, const unsigned char *stop, unsigned char *to,
                           const ascii_stops &stops) {
  size_t done = 0; // units
  while (static_cast<size_t>(stop - from) - 2 * done >= 32) {
    for (size_t k = 0; k < 16; ++k) {
      const unsigned value = load_unit<FORM>(from + 2 * (done + k));
      if (value >= 0x80) return done + k;
      for (unsigned s = 0; s < stops.count; ++s)
        if (value == stops.unit[s]) return done + k;
      to[done + k] = static_cast<unsigned char>(value);
    }
    done += 16;
  }
  return done;
}

// Copies the ASCII bytes at the start of [from, stop) to `to` (UTF-8 and CP932 share them) and
// returns how many there were; it stops at a byte of `stops`, and short of a final block of
// fewer than 16 bytes.
inline size_t copy_ascii(const unsigned char *from, const unsigned char *stop, unsigned char *to,
                         const ascii_stops &stops) {
  size_t done = 0;
  while (static_cast<size_t>(stop - from) - done >= 16) {
    for (size_t k = 0; k < 16; ++k) {
      const unsigned byte = from[done + k];
      if (byte >= 0x80) return done + k;
      for (unsigned s = 0; s < stops.count; ++s)
        if (byte == stops.unit[s]) return done + k;
      to[done + k] = static_cast<unsigned char>(byte);
    }
    done += 16;
  }
  return done;
}

// Copies the ASCII bytes at the start of [from, stop) as UTF-8 to `to` (advanced) and returns
// how many there were: a byte of `patches` is written as its character's UTF-8, so the run
// goes on through it; it stops at a byte beyond ASCII, and short of a final block of fewer than
// 16 bytes. (`readable_end` is for the SIMD versions' sake.)
inline size_t copy_patched_ascii(const unsigned char *from, const unsigned char *stop,
                                 const unsigned char *, unsigned char *&to,
                                 const ascii_patches &patches) {
  size_t done = 0;
  unsigned char *out = to;
  while (static_cast<size_t>(stop - from) - done >= 16) {
    for (size_t k = 0; k < 16; ++k, ++done) {
      const unsigned byte = from[done];
      if (byte >= 0x80) {
        to = out;
        return done;
      }
      bool patched = false;
      for (unsigned p = 0; p < patches.count; ++p) patched |= patches.byte[p] == byte;
      if (patched)
        out = put_patched_byte(out, patches, byte);
      else
        *out++ = static_cast<unsigned char>(byte);
    }
  }
  to = out;
  return done;
}

} // namespace scalar
