// SPDX-License-Identifier: MIT
// What the AVX-512 kernels share: blocks are classified and converted by arithmetic and
// lookups in the tables, each whole or not at all, inside the tier frame (tier_frame.h).
#pragma once

#include "avx512.h"
#include "cp932_blocks.h"
#include "cp932_kana.h"
#include "tier_frame.h"

#include <algorithm>
#include <immintrin.h>

#define AVX512_TARGET                                                                              \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt")))

namespace avx512 {

using tier_frame::run_tier;

AVX512_TARGET inline __m512i swap_bytes(__m512i units) {
  return _mm512_or_si512(_mm512_slli_epi16(units, 8), _mm512_srli_epi16(units, 8));
}

AVX512_TARGET inline uint64_t bytes_between(__m512i bytes, unsigned first, unsigned last) {
  return _mm512_cmpge_epu8_mask(bytes, _mm512_set1_epi8(static_cast<char>(first))) &
         _mm512_cmple_epu8_mask(bytes, _mm512_set1_epi8(static_cast<char>(last)));
}

AVX512_TARGET inline __mmask32 units_between(__m512i units, unsigned first, unsigned last) {
  const __m512i above_first = _mm512_sub_epi16(units, _mm512_set1_epi16(static_cast<short>(first)));
  return _mm512_cmple_epu16_mask(above_first, _mm512_set1_epi16(static_cast<short>(last - first)));
}

AVX512_TARGET inline __m512i add_where(__m512i values, __mmask32 where, int amount) {
  return _mm512_mask_add_epi16(values, where, values,
                               _mm512_set1_epi16(static_cast<short>(amount)));
}

// Moves the lanes that lie in a range of kana codes (KANA_RANGES) to their characters
// (TO_CHARACTERS), or the lanes of those characters to their codes; `moved` receives them.
template <bool TO_CHARACTERS>
AVX512_TARGET inline __m512i move_kana(__m512i values, __mmask32 &moved) {
  __m512i result = values;
  moved = 0;
  for (const auto &range : KANA_RANGES) {
    const unsigned first = TO_CHARACTERS ? range.first_code : range.first_character;
    const unsigned target = TO_CHARACTERS ? range.first_character : range.first_code;
    const __mmask32 in_range =
        units_between(values, first, first + range.last_code - range.first_code);
    result = add_where(result, in_range, static_cast<int>(target) - static_cast<int>(first));
    moved |= in_range;
  }
  return result;
}

// The 16-bit table entries at `index` for the lanes in `lanes` (0 in the others), gathered 16
// at a time. Each gather reads the entry after its own too: the caller keeps the indexes below
// the table's last entry.
AVX512_TARGET inline __m512i gather_entries(__m512i index, __mmask32 lanes, const uint16_t *table) {
  const __m512i first =
      _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), static_cast<__mmask16>(lanes),
                                  _mm512_cvtepu16_epi32(_mm512_castsi512_si256(index)), table, 2);
  const __m512i second = _mm512_mask_i32gather_epi32(
      _mm512_setzero_si512(), static_cast<__mmask16>(lanes >> 16),
      _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(index, 1)), table, 2);
  return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi32_epi16(first)),
                            _mm512_cvtepi32_epi16(second), 1);
}

// A block that is ASCII but for a few characters, with UTF-8 on one side: its ASCII runs go
// out as they are, and each character's bytes between them.
constexpr int SPARSE_CHARACTERS = 4;
struct sparse_character {
  unsigned at, input_bytes; // where it begins in the block, and its bytes there
  uint32_t output;          // what it gives, from the low byte: `output_bytes` bytes
  unsigned output_bytes;
};

// Writes the first `block_bytes` bytes of the block `bytes` at `out` with each of the `count`
// characters (in order) replaced by what it gives; returns the end of the output (whole vectors
// are stored). A run is moved down to the start of a vector by a byte permute.
AVX512_TARGET inline __m512i byte_numbers() {
  return _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45,
                         44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26,
                         25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6,
                         5, 4, 3, 2, 1, 0);
}

AVX512_TARGET inline unsigned char *put_sparse(__m512i bytes, unsigned block_bytes,
                                               const sparse_character *characters, int count,
                                               unsigned char *out) {
  const __m512i numbers = byte_numbers();
  _mm512_storeu_si512(out, bytes); // the run before the first character is in place
  unsigned from = 0;
  for (int k = 0; k < count; ++k) {
    out += characters[k].at - from;
    __builtin_memcpy(out, &characters[k].output, 4);
    out += characters[k].output_bytes;
    from = characters[k].at + characters[k].input_bytes;
    const __m512i moved = _mm512_permutexvar_epi8(
        _mm512_add_epi8(numbers, _mm512_set1_epi8(static_cast<char>(from))), bytes);
    _mm512_storeu_si512(out, moved);
  }
  return out + (block_bytes - from);
}

// Converts the blocks at `from` with `convert_block` (a block needs `readable` bytes): the SIMD
// part of run_tier. It lives here, not in the frame, because it must carry the tier's target
// for the blocks to be inlined into it. A block returns the bytes it consumed, 0 when the tier
// refuses it. Returns the bytes consumed;
// `refused` tells whether a block was refused (else fewer than `readable` bytes were left).
template <typename BLOCK>
AVX512_TARGET inline size_t convert_simd_blocks(const unsigned char *from, size_t size,
                                                size_t readable, const BLOCK &convert_block,
                                                unsigned char *&to, bool &refused) {
  size_t done = 0;
  unsigned char *out = to;           // a local copy the vector stores cannot alias
  const BLOCK block = convert_block; // so is this one: what it holds stays in registers
  refused = false;
  while (size - done >= readable) {
    const size_t used = block(from + done, out);
    if (used == 0) {
      refused = true;
      break;
    }
    done += used;
  }
  to = out;
  return done;
}

} // namespace avx512
