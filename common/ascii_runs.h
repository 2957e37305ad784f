// Runs of ASCII, many bytes a step: the one cheap, big win for text that is mostly ASCII.
// SSE2 on x86-64 (always present there); a plain loop elsewhere, which compilers vectorise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Widens the ASCII bytes at the start of [from, stop) to UTF-16 units at `to` and returns how
// many there were. It may write up to 32 bytes past the units it counts (the caller keeps that
// room), and it stops short of a final block of fewer than 16 bytes, which the caller decodes
// one by one.
template <bool LITTLE>
inline size_t widen_ascii(const unsigned char *from, const unsigned char *stop, unsigned char *to) {
  size_t done = 0;
  while (static_cast<size_t>(stop - from) - done >= 16) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + done));
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = LITTLE ? _mm_unpacklo_epi8(bytes, zero) : _mm_unpacklo_epi8(zero, bytes);
    const __m128i high = LITTLE ? _mm_unpackhi_epi8(bytes, zero) : _mm_unpackhi_epi8(zero, bytes);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 2 * done), low);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 2 * done + 16), high);
    const unsigned non_ascii = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    if (non_ascii != 0) return done + static_cast<size_t>(__builtin_ctz(non_ascii));
#else
    for (size_t k = 0; k < 16; ++k) {
      const unsigned char byte = from[done + k];
      if (byte >= 0x80) return done + k;
      to[2 * (done + k) + (LITTLE ? 0 : 1)] = byte;
      to[2 * (done + k) + (LITTLE ? 1 : 0)] = 0;
    }
#endif
    done += 16;
  }
  return done;
}

// Narrows the UTF-16 units below U+0080 at the start of [from, stop) to bytes at `to` and
// returns how many units there were. It may write up to 16 bytes past the bytes it counts, and
// it stops short of a final block of fewer than 32 bytes.
template <bool LITTLE>
inline size_t narrow_ascii(const unsigned char *from, const unsigned char *stop,
                           unsigned char *to) {
  size_t done = 0; // units
  while (static_cast<size_t>(stop - from) - 2 * done >= 32) {
#if defined(__SSE2__)
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + 2 * done));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + 2 * done + 16));
    // Each 16-bit lane holds a unit, its bytes swapped when the input is big-endian: a unit
    // is ASCII when the bits of this mask are clear.
    const __m128i not_ascii = _mm_set1_epi16(static_cast<short>(LITTLE ? 0xFF80 : 0x80FF));
    const __m128i zero = _mm_setzero_si128();
    const __m128i first_ok = _mm_cmpeq_epi16(_mm_and_si128(first, not_ascii), zero);
    const __m128i second_ok = _mm_cmpeq_epi16(_mm_and_si128(second, not_ascii), zero);
    const __m128i first_low = LITTLE ? first : _mm_srli_epi16(first, 8);
    const __m128i second_low = LITTLE ? second : _mm_srli_epi16(second, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + done),
                     _mm_packus_epi16(first_low, second_low));
    const unsigned ascii =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(first_ok, second_ok)));
    if (ascii != 0xFFFF) return done + static_cast<size_t>(__builtin_ctz(~ascii));
#else
    for (size_t k = 0; k < 16; ++k) {
      const unsigned char *unit = from + 2 * (done + k);
      const unsigned value = LITTLE ? (unit[1] << 8 | unit[0]) : (unit[0] << 8 | unit[1]);
      if (value >= 0x80) return done + k;
      to[done + k] = static_cast<unsigned char>(value);
    }
#endif
    done += 16;
  }
  return done;
}
