// SPDX-License-Identifier: MIT
// Runs of ASCII, one unit at a time: the reference the SIMD versions are tested against, and
// what runs where none of them applies (compilers vectorise it somewhat).
#pragma once

#include <cstddef>

namespace scalar {

// Widens the ASCII bytes at the start of [from, stop) to UTF-16 units at `to` and returns how
// many there were. Like the SIMD versions, it looks at whole blocks of 16 bytes only and
// stops short of a final block of fewer than 16 bytes, which the caller decodes one by one.
template <bool LITTLE>
inline size_t widen_ascii(const unsigned char *from, const unsigned char *stop, unsigned char *to) {
  size_t done = 0;
  while (static_cast<size_t>(stop - from) - done >= 16) {
    for (size_t k = 0; k < 16; ++k) {
      const unsigned char byte = from[done + k];
      if (byte >= 0x80) return done + k;
      to[2 * (done + k) + (LITTLE ? 0 : 1)] = byte;
      to[2 * (done + k) + (LITTLE ? 1 : 0)] = 0;
    }
    done += 16;
  }
  return done;
}

// Narrows the UTF-16 units below U+0080 at the start of [from, stop) to bytes at `to` and
// returns how many units there were; it stops short of a final block of fewer than 32 bytes.
template <bool LITTLE>
inline size_t narrow_ascii(const unsigned char *from, const unsigned char *stop,
                           unsigned char *to) {
  size_t done = 0; // units
  while (static_cast<size_t>(stop - from) - 2 * done >= 32) {
    for (size_t k = 0; k < 16; ++k) {
      const unsigned char *unit = from + 2 * (done + k);
      const unsigned value = LITTLE ? (unit[1] << 8 | unit[0]) : (unit[0] << 8 | unit[1]);
      if (value >= 0x80) return done + k;
      to[done + k] = static_cast<unsigned char>(value);
    }
    done += 16;
  }
  return done;
}

} // namespace scalar
