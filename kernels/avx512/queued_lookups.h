// SPDX-License-Identifier: MIT
// CP932 to UTF-16 and back for processors whose gathers are slow (AMD's microcode them): the
// blocks are classified and written as in decode.h and encode.h, but the table lookups of a
// chunk of blocks are queued and done afterwards in one flat scalar pass, with no branch on the
// data, so that a lookup waits for nothing and the switch between kinds of characters costs no
// misprediction. Only tier.cpp files include this.
#pragma once

#include "decode.h"
#include "encode.h"
#include "lookup_queue.h"

namespace avx512 {
namespace {

// 0, 1, 2, ... 31 in the 16-bit lanes.
AVX512_TARGET inline __m512i lane_numbers() {
  return _mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14,
                          13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
}

// Writes the UTF-16 units of `count` codes (a byte, or lead * 256 + trail) at `place` from the
// chunk's output (a whole vector is stored): ASCII (patched) and kana by arithmetic, the other
// codes queued for the table.
AVX512_TARGET inline void put_queued_units(lookup_queue &queue, __m512i codes, unsigned count,
                                           bool little, const ascii_patches &patches,
                                           unsigned char *chunk_out, unsigned place,
                                           size_t &queued) {
  const __mmask32 lanes = count >= 32 ? ~0u : (1u << count) - 1;
  const __mmask32 ascii = _mm512_cmplt_epu16_mask(codes, _mm512_set1_epi16(0x80));
  __mmask32 kana;
  __m512i units = move_kana<true>(codes, kana);
  if (patches.count != 0) units = patch_ascii(units, ascii, patches);
  _mm512_storeu_si512(chunk_out + place, little ? units : swap_bytes(units));
  const __mmask32 other = lanes & ~(ascii | kana);
  const __m512i index =
      _mm512_sub_epi16(codes, _mm512_set1_epi16(static_cast<short>(DOUBLE_FIRST)));
  const __m512i places = _mm512_add_epi16(_mm512_slli_epi16(lane_numbers(), 1),
                                          _mm512_set1_epi16(static_cast<short>(place)));
  _mm512_storeu_si512(queue.index + queued, _mm512_maskz_compress_epi16(other, index));
  _mm512_storeu_si512(queue.place + queued, _mm512_maskz_compress_epi16(other, places));
  queued += static_cast<size_t>(__builtin_popcount(other));
}

struct queued_decode_block {
  decode_block direct; // its ASCII and sparse blocks, which need no lookup pass
  kernel_state &state;
  lookup_queue &queue;

  // Widens a block of ASCII; false for any other block.
  [[gnu::always_inline]] AVX512_TARGET bool direct_ascii(const unsigned char *block,
                                                         unsigned char *&out) const {
    if (_mm512_movepi8_mask(_mm512_loadu_si512(block)) != 0) return false;
    direct(block, out);
    return true;
  }

  [[gnu::always_inline]] AVX512_TARGET size_t operator()(const unsigned char *block,
                                                         unsigned char *&out,
                                                         unsigned char *chunk_out,
                                                         size_t &queued) const {
    const __m512i bytes = _mm512_loadu_si512(block);
    const uint64_t high = _mm512_movepi8_mask(bytes);
    if (high == 0) return direct(block, out);
    block_characters c;
    if (!classify_block(bytes, high, c)) return 0;
    const uint64_t others = c.leads | (c.singles & high);
    if (__builtin_popcountll(others) <= SPARSE_CHARACTERS) {
      // ASCII with a few others: looked up one by one where such blocks come between denser
      // ones (Japanese prose with Latin words); in a long stretch of them (runs of 30 or more
      // ASCII between kanji) the portable kernel's SSE2 runs are faster.
      if (++state.sparse_run > SPARSE_RUN) return 0;
      return direct.put_sparse_pairs(bytes, block, c.leads, others, c.in_block, out);
    }
    state.sparse_run = 0;
    const auto place = static_cast<unsigned>(out - chunk_out);
    if (c.leads == EVEN_BITS) { // 32 two-byte characters: the codes are the big-endian words
      put_queued_units(queue, swap_bytes(bytes), 32, direct.little, direct.patches, chunk_out,
                       place, queued);
      out += 64;
      return 64;
    }
    __m512i first, second;
    unsigned count_first, count_second;
    block_codes(bytes, block, c.leads, c.singles, first, second, count_first, count_second);
    put_queued_units(queue, first, count_first, direct.little, direct.patches, chunk_out, place,
                     queued);
    put_queued_units(queue, second, count_second, direct.little, direct.patches, chunk_out,
                     place + 2 * count_first, queued);
    out += 2 * (count_first + count_second);
    return c.in_block == ~0ULL ? 64 : 63;
  }
};

// The tier's part of convert_queued_chunks: blocks while they are taken, each recorded in
// the queue, up to `most` of them.
template <typename BLOCK>
AVX512_TARGET inline size_t convert_chunk(const BLOCK convert_block, const unsigned char *from,
                                          size_t size, size_t readable, unsigned char *&out,
                                          unsigned char *chunk_out, size_t most, size_t &blocks,
                                          size_t &queued, bool &refused) {
  // Local copies (of the block too) that the stores cannot alias.
  size_t done = 0, block_count = blocks, lookups = queued;
  unsigned char *at = out;
  while (size - done >= readable && block_count < most) {
    // ASCII blocks in a loop of their own, not recorded: they need no lookup, and a queued
    // value is written as its two bytes exactly, so no block's output waits for the pass.
    while (convert_block.direct_ascii(from + done, at)) {
      done += KERNEL_BLOCK;
      if (size - done < readable) break;
    }
    if (size - done < readable) break;
    record_block(convert_block.queue, block_count, done, static_cast<size_t>(at - chunk_out),
                 lookups);
    const size_t used = convert_block(from + done, at, chunk_out, lookups);
    if (used == 0) {
      refused = true;
      break;
    }
    done += used;
    ++block_count;
  }
  out = at;
  blocks = block_count;
  queued = lookups;
  return done;
}

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

// 32 UTF-16 units: ASCII and kana by arithmetic, the other units queued for the table; their
// codes are taken to have two bytes, and a lookup that finds one byte or none refuses the block
// (resolve_lookups' `least`). A surrogate, U+FFFE, U+FFFF or an ASCII unit the rules must write
// refuses it at once.
struct queued_encode_block {
  encode_block direct; // its byte order, stops and table
  lookup_queue &queue;

  // Narrows a block of ASCII that holds no stop; false for any other block.
  [[gnu::always_inline]] AVX512_TARGET bool direct_ascii(const unsigned char *block,
                                                         unsigned char *&out) const {
    __m512i units = _mm512_loadu_si512(block);
    if (!direct.little) units = swap_bytes(units);
    if (_mm512_cmpge_epu16_mask(units, _mm512_set1_epi16(0x80)) != 0) return false;
    for (unsigned k = 0; k < direct.stops.count; ++k)
      if (_mm512_cmpeq_epi16_mask(units,
                                  _mm512_set1_epi16(static_cast<short>(direct.stops.unit[k]))) != 0)
        return false;
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm512_cvtepi16_epi8(units));
    out += 32;
    return true;
  }

  [[gnu::always_inline]] AVX512_TARGET size_t operator()(const unsigned char *block,
                                                         unsigned char *&out,
                                                         unsigned char *chunk_out,
                                                         size_t &queued) const {
    __m512i units = _mm512_loadu_si512(block);
    if (!direct.little) units = swap_bytes(units);
    __mmask32 ascii = _mm512_cmplt_epu16_mask(units, _mm512_set1_epi16(0x80));
    for (unsigned k = 0; k < direct.stops.count; ++k) {
      const __mmask32 hit = _mm512_cmpeq_epi16_mask(
          units, _mm512_set1_epi16(static_cast<short>(direct.stops.unit[k])));
      if (hit != 0 && direct.stops.code[k] == STOP_NEEDS_RULES) return 0;
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
    const __m512i codes = move_kana<false>(units, kana);
    const __mmask32 other = ~(ascii | kana);
    const __mmask32 two_bytes = _mm512_cmpge_epu16_mask(codes, _mm512_set1_epi16(0x100)) | other;
    const auto place = static_cast<unsigned>(out - chunk_out);
    __m512i places;
    if (two_bytes == ~0u) { // 32 two-byte codes: no bytes to squeeze out
      _mm512_storeu_si512(out, swap_bytes(codes));
      places = _mm512_slli_epi16(lane_numbers(), 1);
      out += 64;
    } else { // each unit gives its code's bytes, lead byte first: one below 0x100, else two
      const __m512i ordered = _mm512_mask_blend_epi16(two_bytes, codes, swap_bytes(codes));
      const uint64_t keep = EVEN_BITS | _pdep_u64(two_bytes, ~EVEN_BITS);
      _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, ordered));
      places = sums_before(
          _mm512_mask_blend_epi16(two_bytes, _mm512_set1_epi16(1), _mm512_set1_epi16(2)));
      out += __builtin_popcountll(keep);
    }
    places = _mm512_add_epi16(places, _mm512_set1_epi16(static_cast<short>(place)));
    _mm512_storeu_si512(queue.index + queued, _mm512_maskz_compress_epi16(other, units));
    _mm512_storeu_si512(queue.place + queued, _mm512_maskz_compress_epi16(other, places));
    queued += static_cast<size_t>(__builtin_popcount(other));
    return 64;
  }
};

template <unicode_form FORM>
inline size_t encode_cp932_queued(const unsigned char *from, size_t size, size_t readable,
                                  unsigned char *&to, kernel_state &state,
                                  const encode_setup &setup) {
  static_assert(FORM != unicode_form::utf8);
  const queued_encode_block block{{traits_of(FORM).little, setup.stops, setup.table}, *state.queue};
  // Codes are written lead byte first; a lookup that finds a one-byte code refuses its block.
  const queued_values values{setup.table, false, 0x100};
  auto chunk = [&](auto &&...arguments) { return convert_chunk(block, arguments...); };
  return run_queued_tier(from, size, readable, to, state, setup, KERNEL_BLOCK, chunk, values,
                         portable::TIER.encode[FORM]);
}

// The UTF-16 forms only: UTF-8 output has no queued design.
template <unicode_form FORM>
inline size_t decode_cp932_queued(const unsigned char *from, size_t size, size_t readable,
                                  unsigned char *&to, kernel_state &state,
                                  const decode_setup &setup) {
  static_assert(FORM != unicode_form::utf8);
  const auto *table = reinterpret_cast<const uint16_t *>(setup.double_table);
  constexpr size_t BLOCK_READABLE = KERNEL_BLOCK + 1;
  const queued_decode_block block{
      {traits_of(FORM).little, setup.patches, table, nullptr}, state, *state.queue};
  const queued_values values{table, traits_of(FORM).little, 0};
  auto chunk = [&](auto &&...arguments) { return convert_chunk(block, arguments...); };
  return run_queued_tier(from, size, readable, to, state, setup, BLOCK_READABLE, chunk, values,
                         portable::TIER.decode[FORM]);
}

} // namespace
} // namespace avx512
