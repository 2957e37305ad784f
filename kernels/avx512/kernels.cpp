// SPDX-License-Identifier: MIT
// Only these functions use AVX-512; they are compiled for it one by one (the target attribute),
// so the rest of the program stays runnable on any x86-64.
#include "kernels.h"

#include "cp932_kana.h"

#if defined(HAVE_AVX512_KERNELS)
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's own AVX-512 headers trip this warning (their "undefined" registers).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <algorithm>
#include <immintrin.h>

#define AVX512_TARGET                                                                              \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi,bmi2,popcnt")))

namespace avx512 {
namespace {

constexpr uint64_t EVEN_BITS = 0x5555555555555555ULL;

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

// The table lookups of a chunk of blocks, queued while the blocks are classified and done
// afterwards in one flat pass with no branch on the data: a lookup then waits for nothing, and
// the switch between kinds of characters costs no misprediction.
constexpr size_t CHUNK_BLOCKS = 256; // 16 KiB of input between passes
struct lookup_queue {
  uint16_t index[CHUNK_BLOCKS * 64 + 32]; // each lookup's table index; whole vectors are stored
  uint16_t place[CHUNK_BLOCKS * 64 + 32]; // where its value goes, from the chunk's output
  size_t count;
  // Of each block of the chunk: where its input and output begin, and its first lookup.
  uint32_t block_input[CHUNK_BLOCKS], block_output[CHUNK_BLOCKS], block_first[CHUNK_BLOCKS];
  // A lookup that fails throws away the work on the blocks after its own: after a failure the
  // chunks start again from one block and double while they succeed, so the work thrown away
  // never exceeds the work kept, however often lookups fail.
  size_t chunk_blocks = CHUNK_BLOCKS;
};
lookup_queue queue; // the programs have one thread

// Queues the lookups of the lanes in `where`: table index `index`, and the output place
// `first_place` + the lane's `offset`. A chunk's output is below 64 KiB, so places fit 16 bits.
AVX512_TARGET inline void queue_lookups(__mmask32 where, __m512i index, __m512i offset,
                                        unsigned first_place, size_t &count) {
  const __m512i place =
      _mm512_add_epi16(offset, _mm512_set1_epi16(static_cast<short>(first_place)));
  _mm512_storeu_si512(queue.index + count, _mm512_maskz_compress_epi16(where, index));
  _mm512_storeu_si512(queue.place + count, _mm512_maskz_compress_epi16(where, place));
  count += static_cast<size_t>(__builtin_popcount(where));
}

// 0, 1, 2, ... 31 in the 16-bit lanes.
AVX512_TARGET inline __m512i lane_numbers() {
  return _mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14,
                          13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
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

// Does the queued lookups into the chunk's output at `out`, each value stored in the given
// byte order. Returns the block of the first lookup whose value is none (0xFFFF) or below
// `least`, or CHUNK_BLOCKS when every value was good.
inline size_t resolve_lookups(const uint16_t *table, unsigned char *out, bool little,
                              unsigned least, size_t blocks) {
  unsigned bad = 0;
  for (size_t k = 0; k < queue.count; ++k) {
    const uint16_t value = table[queue.index[k]];
    bad |= static_cast<unsigned>(value == 0xFFFF) | static_cast<unsigned>(value < least);
    const auto stored = little ? value : static_cast<uint16_t>(value << 8 | value >> 8);
    __builtin_memcpy(out + queue.place[k], &stored, 2);
  }
  if (bad == 0) return CHUNK_BLOCKS;
  size_t first = 0;
  while (table[queue.index[first]] != 0xFFFF && table[queue.index[first]] >= least) ++first;
  size_t block = blocks - 1;
  while (queue.block_first[block] > first) --block;
  return block;
}

// Moves the lanes that lie in a range of kana codes (KANA_RANGES) to their characters
// (`to_characters`), or the other way; `moved` receives those lanes.
AVX512_TARGET inline __m512i move_kana(__m512i values, bool to_characters, __mmask32 &moved) {
  __m512i result = values;
  moved = 0;
  for (const auto &range : KANA_RANGES) {
    const unsigned first = to_characters ? range.first_code : range.first_character;
    const unsigned target = to_characters ? range.first_character : range.first_code;
    const __mmask32 in_range =
        units_between(values, first, first + range.last_code - range.first_code);
    result = add_where(result, in_range, static_cast<int>(target) - static_cast<int>(first));
    moved |= in_range;
  }
  return result;
}

// Writes the UTF-16 units of `count` CP932 codes (a byte, or lead * 256 + trail) at
// `place` from the chunk's output `chunk_out` (a whole vector is stored): ASCII and kana by
// arithmetic, the other codes queued for the table.
AVX512_TARGET inline void put_units(__m512i codes, unsigned count, bool little,
                                    unsigned char *chunk_out, unsigned place, size_t &queued) {
  const __mmask32 lanes = count >= 32 ? ~0u : (1u << count) - 1;
  const __mmask32 ascii = _mm512_cmplt_epu16_mask(codes, _mm512_set1_epi16(0x80));
  __mmask32 kana;
  const __m512i units = move_kana(codes, true, kana);
  _mm512_storeu_si512(chunk_out + place, little ? units : swap_bytes(units));
  const __mmask32 other = lanes & ~(ascii | kana);
  queue_lookups(other, _mm512_sub_epi16(codes, _mm512_set1_epi16(static_cast<short>(0x8140))),
                _mm512_slli_epi16(lane_numbers(), 1), place, queued);
}

// Converts blocks at `from` (`size` bytes, a block needing `readable` of them) with
// `convert_block` in chunks of up to CHUNK_BLOCKS, doing each chunk's queued lookups after it. A
// block returns the bytes it consumed (0: it is left to the rules, and so is the rest); a
// lookup whose value is none, or below `least`, leaves its block and the rest to the rules.
// Values are stored little-endian or big-endian by `little`.
template <typename BLOCK>
AVX512_TARGET inline size_t convert_chunks(const unsigned char *from, size_t size, size_t readable,
                                           const BLOCK &convert_block, const uint16_t *table,
                                           bool little, unsigned least, unsigned char *to,
                                           size_t &written) {
  size_t done = 0;
  unsigned char *out = to;
  size_t &chunk_blocks = queue.chunk_blocks;
  bool more = true;
  while (more) {
    const size_t chunk_done = done;
    unsigned char *const chunk_out = out;
    size_t blocks = 0;
    size_t queued = 0;
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
      if (used == 0) break;
      done += used;
      ++blocks;
    }
    queue.count = queued;
    const size_t bad = resolve_lookups(table, chunk_out, little, least, blocks);
    if (bad != CHUNK_BLOCKS) {
      done = chunk_done + queue.block_input[bad];
      out = chunk_out + queue.block_output[bad];
      chunk_blocks = 1;
      break;
    }
    chunk_blocks = std::min(2 * chunk_blocks, CHUNK_BLOCKS);
  }
  written = static_cast<size_t>(out - to);
  return done;
}

// One block of 64 bytes of CP932 (63 when the 64th is a lead byte, so that no character is
// cut); 0 when it holds an invalid byte or a bad trail byte.
struct decode_block {
  bool little;
  AVX512_TARGET size_t operator()(const unsigned char *block, unsigned char *&out,
                                  unsigned char *chunk_out, size_t &queued) const {
    const __m512i bytes = _mm512_loadu_si512(block);
    const uint64_t high = _mm512_movepi8_mask(bytes);
    if (high == 0) { // ASCII only: widen
      __m512i low_units = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(bytes));
      __m512i high_units = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(bytes, 1));
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

    const auto place = static_cast<unsigned>(out - chunk_out);
    if (leads == EVEN_BITS) { // 32 two-byte characters: the codes are the big-endian words
      put_units(swap_bytes(bytes), 32, little, chunk_out, place, queued);
      out += 64;
      return 64;
    }
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
    put_units(codes_first, count_first, little, chunk_out, place, queued);
    put_units(codes_second, count_second, little, chunk_out, place + 2 * count_first, queued);
    out += 2 * (count_first + count_second);
    return block_bits == ~0ULL ? 64 : 63;
  }
};

// One block of 32 UTF-16 units; 0 when it holds a surrogate, U+FFFE or U+FFFF.
struct encode_block {
  bool little;
  AVX512_TARGET size_t operator()(const unsigned char *block, unsigned char *&out,
                                  unsigned char *chunk_out, size_t &queued) const {
    __m512i units = _mm512_loadu_si512(block);
    if (!little) units = swap_bytes(units);
    const __mmask32 ascii = _mm512_cmplt_epu16_mask(units, _mm512_set1_epi16(0x80));
    if (ascii == ~0u) { // ASCII only: narrow
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm512_cvtepi16_epi8(units));
      out += 32;
      return 64;
    }
    if ((units_between(units, 0xD800, 0xDFFF) | units_between(units, 0xFFFE, 0xFFFF)) != 0)
      return 0;
    __mmask32 kana;
    const __m512i codes = move_kana(units, false, kana);
    // The other units are looked up later; their codes are taken to have two bytes, and a
    // block where one has one byte or none is left to the rules.
    const __mmask32 other = ~(ascii | kana);
    const __mmask32 two_bytes = _mm512_cmpge_epu16_mask(codes, _mm512_set1_epi16(0x100)) | other;
    const auto place = static_cast<unsigned>(out - chunk_out);
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

} // namespace

AVX512_TARGET size_t decode_cp932(const unsigned char *from, size_t size,
                                  const int16_t *double_table, unsigned char *to, size_t &written,
                                  bool little) {
  // The block reads one byte past itself, for the trail byte of a lead byte at its end.
  return convert_chunks(from, size, 65, decode_block{little},
                        reinterpret_cast<const uint16_t *>(double_table), little, 0, to, written);
}

AVX512_TARGET size_t encode_cp932(const unsigned char *from, size_t size, const uint16_t *table,
                                  unsigned char *to, size_t &written, bool little) {
  // The codes are written lead byte first, as big-endian units.
  return convert_chunks(from, size, 64, encode_block{little}, table, false, 0x100, to, written);
}

} // namespace avx512

#endif
