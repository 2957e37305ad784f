// SPDX-License-Identifier: MIT
// What the AVX2 kernels share: masks of a block's bytes, 16-bit lanes by bit masks, and packing
// the lanes a mask keeps (AVX2 has no compress instruction: a table of shuffles does it, eight
// lanes at a time).
#pragma once

#include "avx2.h"
#include "cp932_blocks.h"
#include "cp932_kana.h"
#include "lookup_queue.h"
#include "tier_frame.h"

#include <immintrin.h>

// No BMI2: its pdep and pext take hundreds of cycles on AMD's processors before Zen 3.
#define AVX2_TARGET __attribute__((target("avx2,bmi,popcnt")))

namespace avx2 {

// Shuffles that pack the 16-bit lanes a mask keeps to the front, for each value of an 8-bit
// mask over eight lanes.
struct packing_shuffles {
  alignas(16) unsigned char lanes[256][16];
};
constexpr packing_shuffles make_packing_shuffles() {
  packing_shuffles s{};
  for (unsigned mask = 0; mask < 256; ++mask) {
    unsigned lane = 0;
    for (unsigned k = 0; k < 8; ++k) {
      if ((mask >> k & 1) == 0) continue;
      s.lanes[mask][2 * lane] = static_cast<unsigned char>(2 * k);
      s.lanes[mask][2 * lane + 1] = static_cast<unsigned char>(2 * k + 1);
      ++lane;
    }
    for (unsigned k = 2 * lane; k < 16; ++k) s.lanes[mask][k] = 0x80;
  }
  return s;
}
inline constexpr packing_shuffles PACKING = make_packing_shuffles();

AVX2_TARGET inline uint64_t mask_of(__m256i low, __m256i high) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(low)) |
         static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(high))) << 32;
}

// The bytes of `v` from `first` to `last` (unsigned), as 0xFF.
AVX2_TARGET inline __m256i between(__m256i v, unsigned first, unsigned last) {
  const __m256i above = _mm256_sub_epi8(v, _mm256_set1_epi8(static_cast<char>(first)));
  return _mm256_cmpeq_epi8(
      _mm256_min_epu8(above, _mm256_set1_epi8(static_cast<char>(last - first))), above);
}

// Bit k for each byte k of the 64 bytes `low`, `high` from `first` to `last`.
AVX2_TARGET inline uint64_t bytes_between(__m256i low, __m256i high, unsigned first,
                                          unsigned last) {
  return mask_of(between(low, first, last), between(high, first, last));
}

// The 16-bit lanes of `v` from `first` to `last` (unsigned), as 0xFFFF.
AVX2_TARGET inline __m256i units_between(__m256i v, unsigned first, unsigned last) {
  const __m256i above = _mm256_sub_epi16(v, _mm256_set1_epi16(static_cast<short>(first)));
  return _mm256_cmpeq_epi16(
      _mm256_min_epu16(above, _mm256_set1_epi16(static_cast<short>(last - first))), above);
}

// Bit k for each 16-bit lane k of the mask `lanes` (0xFFFF or 0).
AVX2_TARGET inline unsigned bits_of_lanes(__m256i lanes) {
  return static_cast<unsigned>(_mm_movemask_epi8(
      _mm_packs_epi16(_mm256_castsi256_si128(lanes), _mm256_extracti128_si256(lanes, 1))));
}

// True when a byte of `first` or `second` is one of `stops` (give one vector twice to test it
// alone). For UTF-16 it tests the units: those below 0x80 have the same low byte and zero.
AVX2_TARGET inline bool any_stop(__m256i first, __m256i second, const ascii_stops &stops) {
  __m256i hit = _mm256_setzero_si256();
  for (unsigned k = 0; k < stops.count; ++k) {
    const __m256i unit = _mm256_set1_epi8(static_cast<char>(stops.unit[k]));
    hit = _mm256_or_si256(
        hit, _mm256_or_si256(_mm256_cmpeq_epi8(first, unit), _mm256_cmpeq_epi8(second, unit)));
  }
  return !_mm256_testz_si256(hit, hit);
}

AVX2_TARGET inline __m256i swap_bytes(__m256i units) {
  return _mm256_or_si256(_mm256_slli_epi16(units, 8), _mm256_srli_epi16(units, 8));
}

// Writes the 16-bit lanes of `v` whose bits are set in `bits` (16 of them) in order at `to`,
// and returns how many; it writes up to 32 bytes from `to`.
AVX2_TARGET inline unsigned put_lanes(__m256i v, unsigned bits, unsigned char *to) {
  const unsigned low = bits & 0xFF, high = bits >> 8 & 0xFF;
  const __m128i low_lanes =
      _mm_shuffle_epi8(_mm256_castsi256_si128(v),
                       _mm_load_si128(reinterpret_cast<const __m128i *>(PACKING.lanes[low])));
  const __m128i high_lanes =
      _mm_shuffle_epi8(_mm256_extracti128_si256(v, 1),
                       _mm_load_si128(reinterpret_cast<const __m128i *>(PACKING.lanes[high])));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(to), low_lanes);
  const auto count = static_cast<unsigned>(__builtin_popcount(low));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 2 * count), high_lanes);
  return count + static_cast<unsigned>(__builtin_popcount(high));
}

// Queues the lookups `index` whose bits are set in `bits` with the places of their values
// (`places`: bytes from the chunk's output), for resolve_lookups.
AVX2_TARGET inline void queue_lanes(lookup_queue &queue, __m256i index, __m256i places,
                                    unsigned bits, size_t &queued) {
  if (bits == 0xFFFF) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(queue.index + queued), index);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(queue.place + queued), places);
    queued += 16;
    return;
  }
  put_lanes(index, bits, reinterpret_cast<unsigned char *>(queue.index + queued));
  queued += put_lanes(places, bits, reinterpret_cast<unsigned char *>(queue.place + queued));
}

// Moves the lanes that lie in a range of kana codes (KANA_RANGES) to their characters
// (TO_CHARACTERS), or the lanes of those characters to their codes; `moved` receives them.
template <bool TO_CHARACTERS> AVX2_TARGET inline __m256i move_kana(__m256i values, __m256i &moved) {
  __m256i result = values;
  moved = _mm256_setzero_si256();
  for (const auto &range : KANA_RANGES) {
    const unsigned first = TO_CHARACTERS ? range.first_code : range.first_character;
    const unsigned target = TO_CHARACTERS ? range.first_character : range.first_code;
    const __m256i in_range =
        units_between(values, first, first + range.last_code - range.first_code);
    const __m256i step = _mm256_set1_epi16(static_cast<short>(target - first));
    result = _mm256_add_epi16(result, _mm256_and_si256(in_range, step));
    moved = _mm256_or_si256(moved, in_range);
  }
  return result;
}

} // namespace avx2
