// SPDX-License-Identifier: MIT
// CP932 to UTF-16 in blocks of 64 bytes (63 when the 64th is a lead byte, so that no character
// is cut). The tier refuses a block that holds an invalid byte or a bad trail byte, and one
// whose lookups find a code without a character.
// Only tier.cpp files include this: what it defines is internal to them, so that the compiler
// specialises and inlines it freely there.
#pragma once

#include "batches.h"
#include "portable/decode.h"

namespace avx512 {
namespace {

constexpr unsigned DOUBLE_FIRST = 0x8140;

// Patches the lanes of `units` (16-bit, in native order) that hold the ASCII bytes letters
// changed, among `lanes`.
AVX512_TARGET inline __m512i patch_ascii(__m512i units, __mmask32 lanes,
                                         const ascii_patches &patches) {
  for (unsigned p = 0; p < patches.count; ++p) {
    const __mmask32 hit =
        lanes & _mm512_cmpeq_epi16_mask(units, _mm512_set1_epi16(patches.byte[p]));
    units =
        _mm512_mask_mov_epi16(units, hit, _mm512_set1_epi16(static_cast<short>(patches.unit[p])));
  }
  return units;
}

// Writes the UTF-16 units of `count` CP932 codes (a byte, or lead * 256 + trail) at `place` in
// the batch's output (a whole vector is stored): ASCII and kana by arithmetic, the other codes
// queued for the table.
AVX512_TARGET inline void put_units(__m512i codes, unsigned count, bool little, bool with_kana,
                                    const ascii_patches &patches, unsigned char *batch_out,
                                    unsigned place, size_t &queued) {
  const __mmask32 lanes = count >= 32 ? ~0u : (1u << count) - 1;
  const __mmask32 ascii = _mm512_cmplt_epu16_mask(codes, _mm512_set1_epi16(0x80));
  __mmask32 kana = 0;
  __m512i units = with_kana ? move_kana(codes, true, kana) : codes;
  if (patches.count != 0) units = patch_ascii(units, ascii, patches);
  _mm512_storeu_si512(batch_out + place, little ? units : swap_bytes(units));
  const __mmask32 other = lanes & ~(ascii | kana);
  queue_lookups(other, _mm512_sub_epi16(codes, _mm512_set1_epi16(static_cast<short>(DOUBLE_FIRST))),
                _mm512_slli_epi16(lane_numbers(), 1), place, queued);
}

// A block of ASCII with at most this many two-byte characters (mostly ASCII text with a word
// or two of Japanese) goes the cheap way: widened whole, its trail bytes squeezed out, the
// few codes queued one by one.
constexpr int SPARSE_PAIRS = 4;

struct decode_block {
  bool little;
  const ascii_patches patches; // a copy, kept in registers across the blocks

  AVX512_TARGET size_t put_sparse_pairs(__m512i bytes, const unsigned char *block, uint64_t leads,
                                        uint64_t trails, uint64_t block_bits, unsigned char *&out,
                                        unsigned place, size_t &queued) const {
    __m512i low_units = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(bytes));
    __m512i high_units = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(bytes, 1));
    if (patches.count != 0) { // only ASCII lanes can match; trail lanes are squeezed out
      low_units = patch_ascii(low_units, ~0u, patches);
      high_units = patch_ascii(high_units, ~0u, patches);
    }
    if (!little) low_units = swap_bytes(low_units), high_units = swap_bytes(high_units);
    const uint64_t keep = block_bits & ~trails;
    const auto keep_low = static_cast<__mmask32>(keep),
               keep_high = static_cast<__mmask32>(keep >> 32);
    const auto low_count = static_cast<unsigned>(__builtin_popcount(keep_low));
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi16(keep_low, low_units));
    _mm512_storeu_si512(out + 2 * low_count, _mm512_maskz_compress_epi16(keep_high, high_units));
    for (uint64_t rest = leads; rest != 0; rest &= rest - 1) {
      const auto at = static_cast<unsigned>(__builtin_ctzll(rest));
      const auto lane = static_cast<unsigned>(__builtin_popcountll(keep & ((1ULL << at) - 1)));
      queue.index[queued] = static_cast<uint16_t>((block[at] << 8 | block[at + 1]) - DOUBLE_FIRST);
      queue.place[queued] = static_cast<uint16_t>(place + 2 * lane);
      ++queued;
    }
    out += 2 * __builtin_popcountll(keep);
    return block_bits == ~0ULL ? 64 : 63;
  }

  AVX512_TARGET size_t operator()(const unsigned char *block, unsigned char *&out,
                                  unsigned char *batch_out, size_t &queued) const {
    const __m512i bytes = _mm512_loadu_si512(block);
    const uint64_t high = _mm512_movepi8_mask(bytes);
    if (high == 0) { // ASCII only: widen
      __m512i low_units = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(bytes));
      __m512i high_units = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(bytes, 1));
      if (patches.count != 0) {
        low_units = patch_ascii(low_units, ~0u, patches);
        high_units = patch_ascii(high_units, ~0u, patches);
      }
      if (!little) low_units = swap_bytes(low_units), high_units = swap_bytes(high_units);
      _mm512_storeu_si512(out, low_units);
      _mm512_storeu_si512(out + 64, high_units);
      out += 128;
      return 64;
    }
    // The lead bytes are the even members of each run of lead-range bytes: the first byte of
    // a run follows a byte that is no lead byte, so it begins a character; the next is its
    // trail, and so on. (The block begins at a character, never at a trail byte.)
    const uint64_t lead_range = bytes_between(bytes, 0x81, 0x9F) | bytes_between(bytes, 0xE0, 0xFC);
    const uint64_t starts = lead_range & ~(lead_range << 1);
    const uint64_t odd_runs = lead_range & ~(lead_range + (starts & ~EVEN_BITS));
    uint64_t leads = (lead_range & ~odd_runs & EVEN_BITS) | (odd_runs & ~EVEN_BITS);
    // A lead byte at the end of the block waits for the next block, with its trail byte.
    const uint64_t block_bits = leads >> 63 ? ~0ULL >> 1 : ~0ULL;
    leads &= block_bits;
    const uint64_t trails = leads << 1;
    const uint64_t trail_ok =
        bytes_between(bytes, 0x40, 0xFC) & ~_mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(0x7F));
    const uint64_t singles = block_bits & ~leads & ~trails;
    const uint64_t single_ok = ~high | bytes_between(bytes, 0xA1, 0xDF);
    if ((trails & ~trail_ok) != 0 || (singles & ~single_ok) != 0) return 0;

    const auto place = static_cast<unsigned>(out - batch_out);
    if (leads == EVEN_BITS) { // 32 two-byte characters: the codes are the big-endian words
      put_units(swap_bytes(bytes), 32, little, true, patches, batch_out, place, queued);
      out += 64;
      return 64;
    }
    if (__builtin_popcountll(leads) <= SPARSE_PAIRS && (singles & high) == 0)
      return put_sparse_pairs(bytes, block, leads, trails, block_bits, out, place, queued);
    // Kana by arithmetic only where the block may hold some: a lead byte 0x82 or 0x83 (hiragana,
    // katakana), or a single byte 0xA1-0xDF (halfwidth katakana).
    const bool with_kana = ((leads & bytes_between(bytes, 0x82, 0x83)) | (singles & high)) != 0;
    // One 16-bit code a character: the byte, or lead * 256 + trail.
    const __m512i next = _mm512_loadu_si512(block + 1);
    const __m512i first_half = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(bytes));
    const __m512i second_half = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(bytes, 1));
    const __m512i next_first = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(next));
    const __m512i next_second = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(next, 1));
    const __m512i pair_first = _mm512_or_si512(_mm512_slli_epi16(first_half, 8), next_first);
    const __m512i pair_second = _mm512_or_si512(_mm512_slli_epi16(second_half, 8), next_second);
    const uint64_t characters = leads | singles;
    const auto first_chars = static_cast<__mmask32>(characters);
    const auto second_chars = static_cast<__mmask32>(characters >> 32);
    const __m512i codes_first = _mm512_maskz_compress_epi16(
        first_chars,
        _mm512_mask_blend_epi16(static_cast<__mmask32>(leads), first_half, pair_first));
    const __m512i codes_second = _mm512_maskz_compress_epi16(
        second_chars,
        _mm512_mask_blend_epi16(static_cast<__mmask32>(leads >> 32), second_half, pair_second));
    const auto count_first = static_cast<unsigned>(__builtin_popcount(first_chars));
    const auto count_second = static_cast<unsigned>(__builtin_popcount(second_chars));
    put_units(codes_first, count_first, little, with_kana, patches, batch_out, place, queued);
    put_units(codes_second, count_second, little, with_kana, patches, batch_out,
              place + 2 * count_first, queued);
    out += 2 * (count_first + count_second);
    return block_bits == ~0ULL ? 64 : 63;
  }
};

template <unicode_form FORM>
inline size_t decode_cp932(const unsigned char *from, size_t size, size_t readable,
                           unsigned char *&to, kernel_state &state, const decode_setup &setup) {
  if (!setup.usable) return 0;
  // UTF-8 has no AVX-512 kernel of its own yet: the portable one serves.
  if constexpr (FORM == unicode_form::utf8)
    return portable::decode_cp932<FORM>(from, size, readable, to, state, setup);
  constexpr bool LITTLE = FORM == unicode_form::utf16_little;
  const auto *table = reinterpret_cast<const uint16_t *>(setup.double_table);
  // A block reads one byte past itself, for the trail byte of a lead byte at its end.
  constexpr size_t BLOCK_READABLE = KERNEL_BLOCK + 1;
  auto simd = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
    return convert_batches<LITTLE, false>(at, left, BLOCK_READABLE,
                                          decode_block{LITTLE, setup.patches}, table, out, refused,
                                          state.batch_blocks);
  };
  return run_tier(from, size, readable, to, state, setup, BLOCK_READABLE, simd,
                  portable::decode_cp932<FORM>);
}

} // namespace
} // namespace avx512
