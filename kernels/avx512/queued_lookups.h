// SPDX-License-Identifier: MIT
// CP932 to UTF-16 and back for processors whose gathers are slow (AMD's microcode them): the
// blocks are classified and written as in decode.h and encode.h, but the table lookups of a
// chunk of blocks are queued and done afterwards in one flat scalar pass, with no branch on the
// data, so that a lookup waits for nothing and the switch between kinds of characters costs no
// misprediction. Only tier.cpp files include this.
#pragma once

#include "decode.h"
#include "encode.h"

namespace avx512 {
namespace {

constexpr size_t CHUNK_BLOCKS = 256; // 16 KiB of input between passes

// A chunk's output stays below 64 KiB (at most 128 bytes a block), so places fit 16 bits.
struct lookup_queue {
  uint16_t index[CHUNK_BLOCKS * 64 + 32]; // each lookup's table index; whole vectors are stored
  uint16_t place[CHUNK_BLOCKS * 64 + 32]; // where its value goes, from the chunk's output
  // Of each block of the chunk: where its input and output begin, and its first lookup.
  uint32_t block_input[CHUNK_BLOCKS], block_output[CHUNK_BLOCKS], block_first[CHUNK_BLOCKS];
  // A lookup that finds no character throws away the work on the blocks after its own: after
  // one the chunks start again from one block and double while they succeed, so the work
  // thrown away never exceeds the work kept.
  size_t chunk_blocks = CHUNK_BLOCKS;
  unsigned sparse_run = 0; // sparse blocks since the last dense one
};
constexpr unsigned SPARSE_RUN = 4; // sparse blocks in a row before the tier refuses the next
lookup_queue queue;                // the programs have one thread

// 0, 1, 2, ... 31 in the 16-bit lanes.
AVX512_TARGET inline __m512i lane_numbers() {
  return _mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14,
                          13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
}

// Writes the UTF-16 units of `count` codes (a byte, or lead * 256 + trail) at `place` from the
// chunk's output (a whole vector is stored): ASCII (patched) and kana by arithmetic, the other
// codes queued for the table.
AVX512_TARGET inline void put_queued_units(__m512i codes, unsigned count, bool little,
                                           const ascii_patches &patches, unsigned char *chunk_out,
                                           unsigned place, size_t &queued) {
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

  const uint16_t *table() const { return direct.table; }
  bool little() const { return direct.little; }
  static unsigned least() { return 0; }

  [[gnu::always_inline]] AVX512_TARGET size_t operator()(const unsigned char *block,
                                                         unsigned char *&out,
                                                         unsigned char *chunk_out,
                                                         size_t &queued) const {
    const __m512i bytes = _mm512_loadu_si512(block);
    const uint64_t high = _mm512_movepi8_mask(bytes);
    if (high == 0) return direct(block, out);
    block_characters c;
    if (!classify_block(bytes, high, c)) return 0;
    if (__builtin_popcountll(c.leads) <= SPARSE_CHARACTERS && (c.singles & high) == 0) {
      // ASCII with a few two-byte characters: looked up one by one where such blocks come
      // between denser ones (Japanese prose with Latin words); in a long stretch of them (runs
      // of 30 or more ASCII between kanji) the portable kernel's SSE2 runs are faster.
      if (++queue.sparse_run > SPARSE_RUN) return 0;
      return direct.put_sparse_pairs(bytes, block, c.leads, c.leads << 1, c.in_block, out);
    }
    queue.sparse_run = 0;
    const auto place = static_cast<unsigned>(out - chunk_out);
    if (c.leads == EVEN_BITS) { // 32 two-byte characters: the codes are the big-endian words
      put_queued_units(swap_bytes(bytes), 32, direct.little, direct.patches, chunk_out, place,
                       queued);
      out += 64;
      return 64;
    }
    __m512i first, second;
    unsigned count_first, count_second;
    block_codes(bytes, block, c.leads, c.singles, first, second, count_first, count_second);
    put_queued_units(first, count_first, direct.little, direct.patches, chunk_out, place, queued);
    put_queued_units(second, count_second, direct.little, direct.patches, chunk_out,
                     place + 2 * count_first, queued);
    out += 2 * (count_first + count_second);
    return c.in_block == ~0ULL ? 64 : 63;
  }
};

// Does the queued lookups into the chunk's output, each value stored low byte first when
// `little`. Returns the block of the first lookup whose value is none (0xFFFF) or below `least`,
// or CHUNK_BLOCKS when every value was good.
inline size_t resolve_lookups(const uint16_t *table, unsigned char *chunk_out, bool little,
                              unsigned least, size_t count, size_t blocks) {
  unsigned bad = 0;
  for (size_t k = 0; k < count; ++k) {
    const uint16_t value = table[queue.index[k]];
    bad |= static_cast<unsigned>(value == 0xFFFF) | static_cast<unsigned>(value < least);
    const auto stored = little ? value : static_cast<uint16_t>(value << 8 | value >> 8);
    __builtin_memcpy(chunk_out + queue.place[k], &stored, 2);
  }
  if (bad == 0) return CHUNK_BLOCKS;
  size_t first = 0;
  while (table[queue.index[first]] != 0xFFFF && table[queue.index[first]] >= least) ++first;
  size_t block = blocks - 1;
  while (queue.block_first[block] > first) --block;
  return block;
}

// As convert_simd_blocks, a chunk of blocks at a time, each chunk's lookups done after it: a
// block that a lookup finds without a character is refused, with the blocks after it.
// A block gives its table (`table`), the byte order its values are stored in (`little`) and
// the least good value (`least`).
template <typename BLOCK>
AVX512_TARGET inline size_t convert_queued_blocks(const unsigned char *from, size_t size,
                                                  size_t readable, const BLOCK &convert_block,
                                                  unsigned char *&to, bool &refused) {
  size_t done = 0;
  unsigned char *out = to;
  size_t &chunk_blocks = queue.chunk_blocks;
  refused = false;
  bool more = true;
  while (more) {
    const size_t chunk_done = done;
    unsigned char *const chunk_out = out;
    size_t blocks = 0, queued = 0;
    more = false;
    while (size - done >= readable) {
      if (blocks == chunk_blocks) {
        more = true;
        break;
      }
      queue.block_input[blocks] = static_cast<uint32_t>(done - chunk_done);
      queue.block_output[blocks] = static_cast<uint32_t>(out - chunk_out);
      queue.block_first[blocks] = static_cast<uint32_t>(queued);
      const size_t used = convert_block(from + done, out, chunk_out, queued);
      if (used == 0) {
        refused = true;
        break;
      }
      done += used;
      ++blocks;
    }
    const size_t bad = resolve_lookups(convert_block.table(), chunk_out, convert_block.little(),
                                       convert_block.least(), queued, blocks);
    if (bad != CHUNK_BLOCKS) {
      done = chunk_done + queue.block_input[bad];
      out = chunk_out + queue.block_output[bad];
      chunk_blocks = 1;
      refused = true;
      break;
    }
    chunk_blocks = std::min(2 * chunk_blocks, CHUNK_BLOCKS);
  }
  to = out;
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

  const uint16_t *table() const { return direct.table; }
  static bool little() { return false; } // codes are written lead byte first
  static unsigned least() { return 0x100; }

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
  const queued_encode_block block{{traits_of(FORM).little, setup.stops, setup.table}};
  auto simd = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
    return convert_queued_blocks(at, left, KERNEL_BLOCK, block, out, refused);
  };
  return run_tier(from, size, readable, to, state, setup, KERNEL_BLOCK, simd,
                  portable::TIER.encode[static_cast<size_t>(FORM)]);
}

// The UTF-16 forms only: UTF-8 output has no queued design.
template <unicode_form FORM>
inline size_t decode_cp932_queued(const unsigned char *from, size_t size, size_t readable,
                                  unsigned char *&to, kernel_state &state,
                                  const decode_setup &setup) {
  static_assert(FORM != unicode_form::utf8);
  const auto *table = reinterpret_cast<const uint16_t *>(setup.double_table);
  constexpr size_t BLOCK_READABLE = KERNEL_BLOCK + 1;
  const queued_decode_block block{{FORM == unicode_form::utf16_little, setup.patches, table}};
  auto simd = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
    return convert_queued_blocks(at, left, BLOCK_READABLE, block, out, refused);
  };
  return run_tier(from, size, readable, to, state, setup, BLOCK_READABLE, simd,
                  portable::TIER.decode[static_cast<size_t>(FORM)]);
}

} // namespace
} // namespace avx512
