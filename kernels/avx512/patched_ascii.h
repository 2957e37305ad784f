// SPDX-License-Identifier: MIT
// ASCII to UTF-8 where letters change some of its bytes (y, o): each patched byte's character
// written in the vector, with no branch on where or how many they are. Every byte of a piece
// of the block is given the same number of places (the longest character's bytes); a byte
// keeps its first place, a patched byte as many as its character has bytes, and one byte
// expand spreads the piece over the places kept. The characters' bytes then go into their
// places by masks.
#pragma once

#include "blocks.h"
#include "kernel_interface.h"

namespace avx512 {
namespace {

// PLACES: the bytes of the longest patched character (1 to 3).
template <unsigned PLACES> struct patched_ascii {
  static constexpr unsigned PIECE = 64 / PLACES; // bytes a piece
  static constexpr uint64_t FIRSTS = [] {        // the first place of each byte of a piece
    uint64_t firsts = 0;
    for (unsigned k = 0; k < PIECE; ++k) firsts |= 1ULL << (k * PLACES);
    return firsts;
  }();

  ascii_patches patches;

  // The bytes of `bytes` that a letter changed, one mask a patch in `hits`; returns them all.
  AVX512_TARGET uint64_t find(__m512i bytes, uint64_t (&hits)[MOST_ASCII_PATCHES]) const {
    uint64_t all = 0;
    for (unsigned p = 0; p < patches.count; ++p) {
      hits[p] = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(static_cast<char>(patches.byte[p])));
      all |= hits[p];
    }
    return all;
  }

  // Writes the block of 64 ASCII bytes at `block` (`bytes` holds them, `hits` as find gives
  // them) at `out`, whole vectors stored, and returns where it ends.
  AVX512_TARGET unsigned char *put(const unsigned char *block, __m512i bytes,
                                   const uint64_t (&hits)[MOST_ASCII_PATCHES],
                                   unsigned char *out) const {
    // The spread leaves the first patch's second byte in every place not kept; the other
    // bytes of the characters are set by masks.
    const __m512i gap = _mm512_set1_epi8(static_cast<char>(patches.utf8[0] >> 8));
    for (unsigned start = 0; start < 64; start += PIECE) {
      // A piece is whole but for the last of three places a byte (64 = 3 * 21 + 1).
      const uint64_t mine =
          64 - start >= PIECE ? FIRSTS : _pdep_u64((1ULL << (64 - start)) - 1, FIRSTS);
      uint64_t leads[MOST_ASCII_PATCHES];
      uint64_t taken = mine;
      for (unsigned p = 0; p < patches.count; ++p) {
        leads[p] = _pdep_u64(hits[p] >> start, mine);
        // The places after each lead that its character's other bytes take.
        taken |= leads[p] * ((1u << (patches.utf8[p] >> 24)) - 2);
      }
      const uint64_t kept = _pext_u64(mine, taken);
      // The piece's bytes from the first lane (a load where the block reaches that far).
      const __m512i moved =
          start == 0 ? bytes
          : start + 32 <= 64
              ? _mm512_castsi256_si512(
                    _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + start)))
              : _mm512_permutexvar_epi8(
                    _mm512_add_epi8(byte_numbers(), _mm512_set1_epi8(static_cast<char>(start))),
                    bytes);
      __m512i spread = _mm512_mask_expand_epi8(gap, kept, moved);
      for (unsigned p = 0; p < patches.count; ++p) {
        const uint64_t lead = _pext_u64(leads[p], taken);
        const uint32_t character = patches.utf8[p];
        const unsigned length = character >> 24;
        for (unsigned k = 0; k < PLACES; ++k)
          if (k < length && (p != 0 || k != 1))
            spread = _mm512_mask_mov_epi8(spread, lead << k,
                                          _mm512_set1_epi8(static_cast<char>(character >> 8 * k)));
      }
      _mm512_storeu_si512(out, spread);
      out += __builtin_popcountll(taken);
    }
    return out;
  }
};

// The longest patched character's bytes: what patched_ascii is made for.
inline unsigned places_of(const ascii_patches &patches) {
  unsigned places = 1;
  for (unsigned p = 0; p < patches.count; ++p)
    places = std::max(places, static_cast<unsigned>(patches.utf8[p] >> 24));
  return places;
}

} // namespace
} // namespace avx512
