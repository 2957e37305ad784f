// SPDX-License-Identifier: MIT
// UTF-16 to CP932 in blocks of 32 units. The tier refuses a block that holds a surrogate,
// U+FFFE or U+FFFF, or an ASCII unit the rules must write (no code, markup with m), and one
// whose lookups find a unit without a code.
// Only tier.cpp files include this: what it defines is internal to them, so that the compiler
// specialises and inlines it freely there.
#pragma once

#include "batches.h"
#include "portable/encode.h"

namespace avx512 {
namespace {

// The sums of the 16-bit lanes before each lane (an exclusive prefix sum).
AVX512_TARGET inline __m512i sums_before(__m512i values) {
  const __m512i lanes = lane_numbers();
  __m512i sums = values;
  for (int step = 1; step < 32; step *= 2) {
    const __mmask32 moved = ~0u << step;
    const __m512i from = _mm512_sub_epi16(lanes, _mm512_set1_epi16(static_cast<short>(step)));
    sums = _mm512_add_epi16(sums, _mm512_maskz_permutexvar_epi16(moved, from, sums));
  }
  return _mm512_sub_epi16(sums, values);
}

struct encode_block {
  bool little;
  const ascii_stops stops; // a copy, kept in registers across the blocks
  AVX512_TARGET size_t operator()(const unsigned char *block, unsigned char *&out,
                                  unsigned char *batch_out, size_t &queued) const {
    __m512i units = _mm512_loadu_si512(block);
    if (!little) units = swap_bytes(units);
    __mmask32 ascii = _mm512_cmplt_epu16_mask(units, _mm512_set1_epi16(0x80));
    // ASCII units that letters changed: looked up like the others, or left to the rules.
    for (unsigned k = 0; k < stops.count; ++k) {
      const __mmask32 hit =
          _mm512_cmpeq_epi16_mask(units, _mm512_set1_epi16(static_cast<short>(stops.unit[k])));
      if (hit != 0 && stops.code[k] == STOP_NEEDS_RULES) return 0;
      ascii &= ~hit;
    }
    if (ascii == ~0u) { // ASCII only: narrow
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm512_cvtepi16_epi8(units));
      out += 32;
      return 64;
    }
    if ((units_between(units, 0xD800, 0xDFFF) | units_between(units, 0xFFFE, 0xFFFF)) != 0)
      return 0;
    __mmask32 kana;
    const __m512i codes = move_kana(units, false, kana);
    // The other units are looked up after the batch, taken to have two-byte codes; the batch
    // pass squeezes out the first byte of a code that has one (U+0080, U+F8F0-U+F8F3, the
    // letters y, o, v).
    const __mmask32 other = ~(ascii | kana);
    const __mmask32 two_bytes = _mm512_cmpge_epu16_mask(codes, _mm512_set1_epi16(0x100)) | other;
    const auto place = static_cast<unsigned>(out - batch_out);
    if (two_bytes == ~0u) { // 32 two-byte characters: no bytes to squeeze out
      _mm512_storeu_si512(out, swap_bytes(codes));
      queue_lookups(other, units, _mm512_slli_epi16(lane_numbers(), 1), place, queued);
      out += 64;
      return 64;
    }
    // Each unit gives its code's bytes, lead byte first: one byte below 0x100, else two.
    const __m512i ordered = _mm512_mask_blend_epi16(two_bytes, codes, swap_bytes(codes));
    const uint64_t keep = EVEN_BITS | _pdep_u64(two_bytes, ~EVEN_BITS);
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, ordered));
    const __m512i lengths =
        _mm512_mask_blend_epi16(two_bytes, _mm512_set1_epi16(1), _mm512_set1_epi16(2));
    queue_lookups(other, units, sums_before(lengths), place, queued);
    out += __builtin_popcountll(keep);
    return 64;
  }
};

template <unicode_form FORM>
inline size_t encode_cp932(const unsigned char *from, size_t size, size_t readable,
                           unsigned char *&to, kernel_state &state, const encode_setup &setup) {
  if (!setup.usable) return 0;
  // UTF-8 has no AVX-512 kernel of its own yet: the portable one serves.
  if constexpr (FORM == unicode_form::utf8)
    return portable::encode_cp932<FORM>(from, size, readable, to, state, setup);
  constexpr bool LITTLE = FORM == unicode_form::utf16_little;
  auto simd = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
    // The codes are written lead byte first, as big-endian units.
    return convert_batches<false, true>(at, left, KERNEL_BLOCK, encode_block{LITTLE, setup.stops},
                                        setup.table, out, refused, state.batch_blocks);
  };
  return run_tier(from, size, readable, to, state, setup, KERNEL_BLOCK, simd,
                  portable::encode_cp932<FORM>);
}

} // namespace
} // namespace avx512
