// SPDX-License-Identifier: MIT
// Runs of ASCII, 16 bytes a step with SSE2 (always present on x86-64): the one cheap, big win
// for text that is mostly ASCII. Same results as scalar/ascii_runs.h; the bytes that letters
// change are patched in the same pass.
#pragma once

#if defined(__SSE2__)
#define HAVE_SSE2_KERNELS 1

#include "scalar/ascii_runs.h"
#include "unicode_units.h"

#include <cstddef>
#include <cstring>
#include <emmintrin.h>

namespace sse2 {

// As scalar::widen_ascii; it may write up to 32 bytes past the units it counts.
template <unicode_form FORM>
inline size_t widen_ascii(const unsigned char *from, const unsigned char *stop, unsigned char *to,
                          const ascii_patches &patches) {
  constexpr bool LITTLE = is_little_endian_form<FORM>();
  size_t done = 0;
  while (static_cast<size_t>(stop - from) - done >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + done));
    const __m128i zero = _mm_setzero_si128();
    __m128i low = LITTLE ? _mm_unpacklo_epi8(bytes, zero) : _mm_unpacklo_epi8(zero, bytes);
    __m128i high = LITTLE ? _mm_unpackhi_epi8(bytes, zero) : _mm_unpackhi_epi8(zero, bytes);
    for (unsigned p = 0; p < patches.count; ++p) {
      const __m128i hit = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(patches.byte[p])));
      const uint16_t unit = LITTLE ? patches.unit[p] : byte_swapped(patches.unit[p]);
      const __m128i patched = _mm_set1_epi16(static_cast<short>(unit));
      const __m128i hit_low = _mm_unpacklo_epi8(hit, hit), hit_high = _mm_unpackhi_epi8(hit, hit);
      low = _mm_or_si128(_mm_andnot_si128(hit_low, low), _mm_and_si128(hit_low, patched));
      high = _mm_or_si128(_mm_andnot_si128(hit_high, high), _mm_and_si128(hit_high, patched));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 2 * done), low);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 2 * done + 16), high);
    const unsigned non_ascii = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    if (non_ascii != 0) return done + static_cast<size_t>(__builtin_ctz(non_ascii));
    done += 16;
  }
  return done;
}

// As scalar::narrow_ascii; it may write up to 16 bytes past the bytes it counts.
template <unicode_form FORM>
inline size_t narrow_ascii(const unsigned char *from, const unsigned char *stop, unsigned char *to,
                           const ascii_stops &stops) {
  constexpr bool LITTLE = is_little_endian_form<FORM>();
  size_t done = 0; // units
  while (static_cast<size_t>(stop - from) - 2 * done >= 32) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + 2 * done));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + 2 * done + 16));
    // Each 16-bit lane holds a unit, its bytes swapped when the input is big-endian: a unit
    // is ASCII when the bits of this mask are clear.
    const __m128i not_ascii = _mm_set1_epi16(static_cast<short>(LITTLE ? 0xFF80 : 0x80FF));
    const __m128i zero = _mm_setzero_si128();
    __m128i first_ok = _mm_cmpeq_epi16(_mm_and_si128(first, not_ascii), zero);
    __m128i second_ok = _mm_cmpeq_epi16(_mm_and_si128(second, not_ascii), zero);
    for (unsigned s = 0; s < stops.count; ++s) {
      const uint16_t unit = LITTLE ? stops.unit[s] : byte_swapped(stops.unit[s]);
      const __m128i stop_unit = _mm_set1_epi16(static_cast<short>(unit));
      first_ok = _mm_andnot_si128(_mm_cmpeq_epi16(first, stop_unit), first_ok);
      second_ok = _mm_andnot_si128(_mm_cmpeq_epi16(second, stop_unit), second_ok);
    }
    const __m128i first_low = LITTLE ? first : _mm_srli_epi16(first, 8);
    const __m128i second_low = LITTLE ? second : _mm_srli_epi16(second, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + done),
                     _mm_packus_epi16(first_low, second_low));
    const unsigned ascii =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(first_ok, second_ok)));
    if (ascii != 0xFFFF) return done + static_cast<size_t>(__builtin_ctz(~ascii));
    done += 16;
  }
  return done;
}

// As scalar::copy_ascii; it may write up to 16 bytes past the bytes it counts.
inline size_t copy_ascii(const unsigned char *from, const unsigned char *stop, unsigned char *to,
                         const ascii_stops &stops) {
  size_t done = 0;
  while (static_cast<size_t>(stop - from) - done >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + done));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + done), bytes);
    unsigned not_copied = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    for (unsigned s = 0; s < stops.count; ++s)
      not_copied |= static_cast<unsigned>(_mm_movemask_epi8(
          _mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(stops.unit[s])))));
    if (not_copied != 0) return done + static_cast<size_t>(__builtin_ctz(not_copied));
    done += 16;
  }
  return done;
}

// WIDTH bytes (16 or 32) of `block`, as vectors of 16. (A tier with wider vectors brings a
// block of its own with the same members to the functions below.)
template <unsigned WIDTH_> struct byte_block {
  static constexpr unsigned WIDTH = WIDTH_;
  static constexpr bool RETURNS_UNPATCHED = true; // see copy_patched_block
  __m128i part[WIDTH / 16];

  explicit byte_block(const unsigned char *at) {
    for (unsigned k = 0; k < WIDTH / 16; ++k)
      part[k] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 16 * k));
  }
  void store(unsigned char *at) const {
    for (unsigned k = 0; k < WIDTH / 16; ++k)
      _mm_storeu_si128(reinterpret_cast<__m128i *>(at + 16 * k), part[k]);
  }
  // A bit a byte: those beyond ASCII, and those equal to `byte`.
  uint32_t beyond() const {
    uint32_t bits = 0;
    for (unsigned k = 0; k < WIDTH / 16; ++k)
      bits |= static_cast<uint32_t>(_mm_movemask_epi8(part[k])) << 16 * k;
    return bits;
  }
  uint32_t equal_to(unsigned byte) const {
    uint32_t bits = 0;
    for (unsigned k = 0; k < WIDTH / 16; ++k)
      bits |= static_cast<uint32_t>(_mm_movemask_epi8(
                  _mm_cmpeq_epi8(part[k], _mm_set1_epi8(static_cast<char>(byte)))))
              << 16 * k;
    return bits;
  }
};

// What a block of copy_patched_ascii with more than two patched bytes does (or one whose input
// ends too soon for whole-vector loads): each patched byte's character is written and then the
// rest of the block after it, one by one. `out` is where the block's output begins; returns the
// output bytes beyond the block's input bytes up to the last patched one.
struct patched_one_by_one {
  template <typename BLOCK>
  unsigned operator()(const BLOCK &, const unsigned char *block, const unsigned char *readable_end,
                      uint32_t patched, unsigned char *out, const ascii_patches &patches) const {
    constexpr unsigned WIDTH = BLOCK::WIDTH;
    unsigned char *at = out;
    unsigned written = 0; // bytes of the block in the output so far
    for (; patched != 0; patched &= patched - 1) {
      const auto place = static_cast<unsigned>(__builtin_ctz(patched));
      at += place - written;
      at = scalar::put_patched_byte(at, patches, block[place]);
      written = place + 1;
      if (readable_end - block >= 2 * WIDTH)
        BLOCK(block + written).store(at);
      else
        std::memcpy(at, block + written, WIDTH - written);
    }
    return static_cast<unsigned>(at - out) - written;
  }
};

// One block of copy_patched_ascii: its bytes stored whole and then, from each patched byte on,
// again after its character's bytes (a block with more than two of them by `many`, as
// patched_one_by_one). Returns the ASCII bytes of the block copied (its width when the run goes
// on); `out` is advanced past them. ONE_LETTER: `patches` has one byte only (the common case),
// whose character needs no lookup.
template <typename BLOCK, bool ONE_LETTER, typename MANY>
inline unsigned copy_patched_block(const unsigned char *block, const unsigned char *readable_end,
                                   unsigned char *&out, const ascii_patches &patches,
                                   const MANY &many) {
  constexpr unsigned WIDTH = BLOCK::WIDTH;
  const BLOCK bytes(block);
  bytes.store(out);
  const uint32_t beyond = bytes.beyond();
  uint32_t patched = bytes.equal_to(patches.byte[0]);
  if constexpr (!ONE_LETTER)
    for (unsigned p = 1; p < patches.count; ++p) patched |= bytes.equal_to(patches.byte[p]);
  if ((beyond | patched) == 0) { // ASCII that no letter changed: the common case
    out += WIDTH;
    return WIDTH;
  }
  patched &= beyond ^ (beyond - 1); // those before the first byte beyond ASCII
  const auto ascii = static_cast<unsigned>(__builtin_ctzll(beyond | 1ULL << WIDTH));
  // A short run that ends before any patched byte (most runs in text) returns here, where the
  // slots below cost more than the branch (a BLOCK of one vector takes them instead).
  if (BLOCK::RETURNS_UNPATCHED && patched == 0) {
    out += ascii;
    return ascii;
  }
  // A block with at most two patched bytes takes no branch on how many it has: each one's
  // character is stored, then the rest of the block again after it by whole-vector loads
  // (where the input reaches that far: a copy of a variable length costs a call). A missing
  // one stands at the run's end, past the output counted, where the next block's store (or
  // the kernel's next writes) cover what it wrote.
  const uint32_t second_on = patched & (patched - 1);
  unsigned shift = 0; // output bytes beyond the input bytes up to the run's end
  if ((second_on & (second_on - 1)) == 0 && readable_end - block > 2 * WIDTH) {
    for (const uint32_t one : {patched, second_on}) {
      const auto place = static_cast<unsigned>(__builtin_ctzll(one | 1ULL << ascii));
      const uint32_t character =
          patches.utf8[ONE_LETTER ? 0 : scalar::patch_of(patches, block[place])];
      const unsigned grows = (character >> 24) - 1;
      std::memcpy(out + place + shift, &character, 4);
      BLOCK(block + place + 1).store(out + place + shift + grows + 1);
      shift += one != 0 ? grows : 0; // nothing for a missing one
    }
  } else {
    shift = many(bytes, block, readable_end, patched, out, patches);
  }
  out += ascii + shift;
  return ascii;
}

// copy_patched_runs with one kind of letters (ONE_LETTER) and the blocks of more than two
// patched bytes written by `many`: a tier with other vectors brings its own.
template <typename WIDE, bool ONE_LETTER, typename MANY = patched_one_by_one>
inline size_t copy_patched_blocks(const unsigned char *from, const unsigned char *stop,
                                  const unsigned char *readable_end, unsigned char *&to,
                                  const ascii_patches &patches, const MANY &many = {}) {
  static_assert(WIDE::WIDTH == 32);
  size_t done = 0;
  unsigned char *out = to;
  for (unsigned step; static_cast<size_t>(stop - from) - done >= 32; done += step)
    if ((step = copy_patched_block<WIDE, ONE_LETTER>(from + done, readable_end, out, patches,
                                                     many)) < 32) {
      to = out;
      return done + step;
    }
  if (static_cast<size_t>(stop - from) - done >= 16)
    done += copy_patched_block<byte_block<16>, ONE_LETTER>(from + done, readable_end, out, patches,
                                                           patched_one_by_one{});
  to = out;
  return done;
}

// As scalar::copy_patched_ascii, with blocks of WIDE (32 bytes), then one of 16. It may read
// up to `readable_end` (at least `stop`) and write up to 48 bytes past the bytes it counts.
template <typename WIDE>
inline size_t copy_patched_runs(const unsigned char *from, const unsigned char *stop,
                                const unsigned char *readable_end, unsigned char *&to,
                                const ascii_patches &patches) {
  if (patches.count == 1)
    return copy_patched_blocks<WIDE, true>(from, stop, readable_end, to, patches);
  return copy_patched_blocks<WIDE, false>(from, stop, readable_end, to, patches);
}

inline size_t copy_patched_ascii(const unsigned char *from, const unsigned char *stop,
                                 const unsigned char *readable_end, unsigned char *&to,
                                 const ascii_patches &patches) {
  return copy_patched_runs<byte_block<32>>(from, stop, readable_end, to, patches);
}

} // namespace sse2

#endif
