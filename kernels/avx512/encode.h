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

// The byte that goes out for each byte of a vector of which `keep` goes out (compressed): the
// number of kept bytes before it, made by expanding 0, 1, 2 ... into the kept positions.
AVX512_TARGET inline __m512i places_of_kept(uint64_t keep) {
  const __m512i numbers = _mm512_set_epi8(
      63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42, 41,
      40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18,
      17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  return _mm512_maskz_expand_epi8(keep, numbers);
}

// Writes the CP932 codes of the first `count` units (ASCII in `ascii`, already checked for
// what the rules must write) at `out` in the batch's output: ASCII and kana by arithmetic, the
// other units queued for the table and taken to have two-byte codes; the batch pass squeezes
// out the first byte of a code that has one (U+0080, U+F8F0-U+F8F3, the letters y, o, v).
AVX512_TARGET inline void put_codes(__m512i units, unsigned count, __mmask32 ascii,
                                    unsigned char *&out, unsigned char *batch_out, size_t &queued) {
  const __mmask32 lanes = count >= 32 ? ~0u : (1u << count) - 1;
  __mmask32 kana;
  const __m512i codes = move_kana(units, false, kana);
  const __mmask32 other = lanes & ~(ascii | kana);
  const __mmask32 two_bytes =
      lanes & (_mm512_cmpge_epu16_mask(codes, _mm512_set1_epi16(0x100)) | other);
  const auto place = static_cast<unsigned>(out - batch_out);
  if (two_bytes == lanes) { // two-byte characters only: no bytes to squeeze out
    _mm512_storeu_si512(out, swap_bytes(codes));
    queue_lookups(other, units, _mm512_slli_epi16(lane_numbers(), 1), place, queued);
    out += 2 * count;
    return;
  }
  // Each unit gives its code's bytes, lead byte first: one byte below 0x100, else two.
  const __m512i ordered = _mm512_mask_blend_epi16(two_bytes, codes, swap_bytes(codes));
  const uint64_t lane_bytes = count >= 32 ? ~0ULL : (1ULL << (2 * count)) - 1;
  const uint64_t keep = (EVEN_BITS | _pdep_u64(two_bytes, ~EVEN_BITS)) & lane_bytes;
  _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, ordered));
  // A unit's first byte (its even byte) is always kept: its place is the low byte of its lane.
  const __m512i offsets = _mm512_and_si512(places_of_kept(keep), _mm512_set1_epi16(0xFF));
  queue_lookups(other, units, offsets, place, queued);
  out += __builtin_popcountll(keep);
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
    put_codes(units, 32, ascii, out, batch_out, queued);
    return 64;
  }
};

// The codes of the units of `units` in `lanes`: ASCII as it is, the others gathered from the
// table; `unmapped` receives the lanes without a code. A gather reads the entry after its own
// too, so U+FFFE and U+FFFF (which have no code) are never gathered: the last read stays in
// the table.
AVX512_TARGET inline __m512i gathered_codes(__m512i units, __mmask32 lanes, const uint16_t *table,
                                            __mmask32 &unmapped) {
  const __mmask32 ascii = _mm512_cmplt_epu16_mask(units, _mm512_set1_epi16(0x80));
  const __mmask32 last_two = lanes & units_between(units, 0xFFFE, 0xFFFF);
  const __mmask32 looked_up = lanes & ~ascii & ~last_two;
  const __m512i first =
      _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), static_cast<__mmask16>(looked_up),
                                  _mm512_cvtepu16_epi32(_mm512_castsi512_si256(units)), table, 2);
  const __m512i second = _mm512_mask_i32gather_epi32(
      _mm512_setzero_si512(), static_cast<__mmask16>(looked_up >> 16),
      _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(units, 1)), table, 2);
  const __m512i codes = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi32_epi16(first)),
                                           _mm512_cvtepi32_epi16(second), 1);
  unmapped = _mm512_mask_cmpeq_epi16_mask(looked_up, codes, _mm512_set1_epi16(-1)) | last_two;
  return _mm512_mask_mov_epi16(codes, ascii, units);
}

// Writes the codes of `codes` in `lanes` at `out`, lead byte first, one byte below 0x100; a
// whole vector is stored. Returns the end of the output.
AVX512_TARGET inline unsigned char *put_gathered_codes(__m512i codes, __mmask32 lanes,
                                                       unsigned char *out) {
  const __mmask32 two_bytes = lanes & _mm512_cmpge_epu16_mask(codes, _mm512_set1_epi16(0x100));
  const __m512i ordered = _mm512_mask_blend_epi16(two_bytes, codes, swap_bytes(codes));
  const uint64_t keep = _pdep_u64(lanes, EVEN_BITS) | _pdep_u64(two_bytes, ~EVEN_BITS);
  _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, ordered));
  return out + __builtin_popcountll(keep);
}

// One block of 64 bytes of UTF-8 (62 or 63 when a character would be cut at its end). The
// tier refuses a block that holds anything but ASCII and well-formed two- and three-byte
// sequences with lead bytes C2-DF, E1-EC, EE, EF (so no overlong form, no surrogate; the rare
// E0 and ED leads, four-byte sequences and ill-formed bytes go to the portable kernel), an
// ASCII byte that letters changed, or a character without a code. Its codes are
// gathered from the table at once: no lookups wait for a batch.
struct utf8_block {
  const ascii_stops stops; // a copy, kept in registers across the blocks
  const uint16_t *table;
  [[gnu::always_inline]] AVX512_TARGET size_t operator()(const unsigned char *block,
                                                         unsigned char *&out) const {
    const __m512i bytes = _mm512_loadu_si512(block);
    uint64_t changed = 0;
    for (unsigned k = 0; k < stops.count; ++k)
      changed |= _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(static_cast<char>(stops.unit[k])));
    if (changed != 0) return 0;
    const uint64_t high = _mm512_movepi8_mask(bytes);
    if (high == 0) { // ASCII only: the same bytes
      _mm512_storeu_si512(out, bytes);
      out += 64;
      return 64;
    }
    const uint64_t continuation = bytes_between(bytes, 0x80, 0xBF);
    const uint64_t lead2 = bytes_between(bytes, 0xC2, 0xDF);
    const uint64_t lead3 = bytes_between(bytes, 0xE1, 0xEC) | bytes_between(bytes, 0xEE, 0xEF);
    if ((~high | continuation | lead2 | lead3) != ~0ULL) return 0;
    // A sequence whose lead byte is among the last two bytes may go on past the block: the
    // block ends before it.
    const uint64_t cut = (lead2 & 1ULL << 63) | (lead3 & 3ULL << 62);
    const auto length = static_cast<unsigned>(cut != 0 ? __builtin_ctzll(cut) : 64);
    const uint64_t in_block = length == 64 ? ~0ULL : (1ULL << length) - 1;
    const uint64_t expected = lead2 << 1 | lead3 << 1 | lead3 << 2;
    if (((continuation ^ expected) & in_block) != 0) return 0;
    // The bytes of each character side by side: first, second and third.
    const uint64_t starts = ~continuation & in_block;
    const __m512i first = _mm512_maskz_compress_epi8(starts, bytes);
    const __m512i second = _mm512_maskz_compress_epi8(starts, _mm512_loadu_si512(block + 1));
    const __m512i third = _mm512_maskz_compress_epi8(starts, _mm512_loadu_si512(block + 2));
    const auto count = static_cast<unsigned>(__builtin_popcountll(starts));
    __m512i codes[2] = {_mm512_setzero_si512(), _mm512_setzero_si512()};
    __mmask32 lanes[2] = {0, 0}, unmapped = 0;
    for (unsigned half = 0; half < 2; ++half) {
      const unsigned left = count > 32 * half ? count - 32 * half : 0;
      lanes[half] = left >= 32 ? ~0u : (1u << left) - 1;
      if (lanes[half] == 0) break;
      const __m512i b0 = _mm512_cvtepu8_epi16(half == 0 ? _mm512_castsi512_si256(first)
                                                        : _mm512_extracti64x4_epi64(first, 1));
      const __m512i b1 = _mm512_cvtepu8_epi16(half == 0 ? _mm512_castsi512_si256(second)
                                                        : _mm512_extracti64x4_epi64(second, 1));
      const __m512i b2 = _mm512_cvtepu8_epi16(half == 0 ? _mm512_castsi512_si256(third)
                                                        : _mm512_extracti64x4_epi64(third, 1));
      const __m512i low6 = _mm512_set1_epi16(0x3F);
      const __mmask32 two = units_between(b0, 0xC0, 0xDF), three = units_between(b0, 0xE0, 0xEF);
      const __m512i tail2 = _mm512_and_si512(b1, low6);
      __m512i units = b0;
      units = _mm512_mask_mov_epi16(
          units, two,
          _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(b0, _mm512_set1_epi16(0x1F)), 6),
                          tail2));
      units = _mm512_mask_mov_epi16(
          units, three,
          _mm512_or_si512(
              _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(b0, _mm512_set1_epi16(0x0F)), 12),
                              _mm512_slli_epi16(tail2, 6)),
              _mm512_and_si512(b2, low6)));
      __mmask32 missing;
      codes[half] = gathered_codes(units, lanes[half], table, missing);
      unmapped |= missing;
    }
    if (unmapped != 0) return 0;
    unsigned char *at = put_gathered_codes(codes[0], lanes[0], out);
    if (lanes[1] != 0) at = put_gathered_codes(codes[1], lanes[1], at);
    out = at;
    return length;
  }
};

template <unicode_form FORM>
inline size_t encode_cp932(const unsigned char *from, size_t size, size_t readable,
                           unsigned char *&to, kernel_state &state, const encode_setup &setup) {
  if (!setup.usable) return 0;
  if constexpr (FORM == unicode_form::utf8) {
    // A block reads two bytes past itself, for the rest of a sequence that begins at its end.
    constexpr size_t BLOCK_READABLE = KERNEL_BLOCK + 2;
    auto simd = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
      return convert_unbatched(at, left, BLOCK_READABLE, utf8_block{setup.stops, setup.table}, out,
                               refused);
    };
    return run_tier(from, size, readable, to, state, setup, BLOCK_READABLE, simd,
                    portable::encode_cp932<FORM>);
  }
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
