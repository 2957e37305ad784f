// SPDX-License-Identifier: MIT
// CP932 to UTF-16 in blocks of 64 bytes (63 when the 64th is a lead byte, so that no character
// is cut): ASCII blocks widened in a loop of their own, ASCII with a few other characters
// (sparse) with their units looked up one by one, blocks of 32 two-byte characters with kana
// by arithmetic and the other characters queued for the table (lookup_queue.h), and any other
// block (Japanese prose: kana, kanji and ASCII in turn) the same way after a shuffle a window
// of 8 bytes has put its characters into 16-bit lanes. The tier refuses a block that holds an
// invalid byte or a bad trail byte, and one whose lookups find a code without a character: the
// portable kernel takes them.
// Only tier.cpp files include this: what it defines is internal to them, so that the compiler
// specialises and inlines it freely there.
#pragma once

#include "blocks.h"
#include "lookup_queue.h"
#include "portable/portable.h"
#include "unicode_units.h"

namespace avx2 {
namespace {

constexpr unsigned DOUBLE_FIRST = 0x8140;
constexpr unsigned SPARSE_CHARACTERS = 8; // two-byte characters of a sparse block, at most

// Patches the lanes of `units` (16-bit, in native order) that hold the ASCII bytes letters
// changed.
AVX2_TARGET inline __m256i patch_ascii(__m256i units, const ascii_patches &patches) {
  for (unsigned p = 0; p < patches.count; ++p) {
    const __m256i hit = _mm256_cmpeq_epi16(units, _mm256_set1_epi16(patches.byte[p]));
    units = _mm256_blendv_epi8(units, _mm256_set1_epi16(static_cast<short>(patches.unit[p])), hit);
  }
  return units;
}

// The 16 bytes at `at` as 16-bit units, patched, in the output's byte order.
AVX2_TARGET inline __m256i widen(const unsigned char *at, bool little,
                                 const ascii_patches &patches) {
  __m256i units = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at)));
  if (patches.count != 0) units = patch_ascii(units, patches);
  return little ? units : swap_bytes(units);
}

// The sums of the 16-bit lanes up to each lane (an inclusive prefix sum).
AVX2_TARGET inline __m256i sums_through(__m256i values) {
  __m256i sums = _mm256_add_epi16(values, _mm256_slli_si256(values, 2));
  sums = _mm256_add_epi16(sums, _mm256_slli_si256(sums, 4));
  sums = _mm256_add_epi16(sums, _mm256_slli_si256(sums, 8));
  // The low half's total (its last lane) added to every lane of the high half.
  const __m256i last = _mm256_shuffle_epi8(
      sums, _mm256_set1_epi16(static_cast<short>(0x0F0E))); // lane 7 of each half, everywhere
  return _mm256_add_epi16(sums, _mm256_permute2x128_si256(last, last, 0x08));
}

// The last 16-bit lane of `values` in every lane.
AVX2_TARGET inline __m256i last_lane(__m256i values) {
  const __m256i high = _mm256_permute2x128_si256(values, values, 0x11);
  return _mm256_shuffle_epi8(high, _mm256_set1_epi16(static_cast<short>(0x0F0E)));
}

// 0, 1, 2, ... 15 in the 16-bit lanes.
AVX2_TARGET inline __m256i lane_numbers() {
  return _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

// The two-byte codes' index in the table of their characters.
AVX2_TARGET inline __m256i table_index(__m256i codes) {
  return _mm256_sub_epi16(codes, _mm256_set1_epi16(static_cast<short>(DOUBLE_FIRST)));
}

// Shuffles that put the characters beginning in 8 bytes of a block (a window) into 16-bit lanes
// as codes (a byte, or lead * 256 + trail; a lead byte at the window's end takes its trail from
// the byte after it), one after another, for each value of the window's lead bytes shifted one
// up, the lowest bit telling that its first byte is the trail of the byte before it (9 bits of
// the block's lead bytes, shifted one up). The lanes after the last are zero.
struct window_shuffles {
  alignas(16) unsigned char lanes[512][16];
};
constexpr window_shuffles make_window_shuffles() {
  window_shuffles s{};
  for (unsigned index = 0; index < 512; ++index) {
    for (unsigned char &byte : s.lanes[index]) byte = 0x80;
    unsigned lane = 0;
    for (unsigned at = index & 1; at < 8; ++lane) {
      const bool lead = (index >> (at + 1) & 1) != 0;
      s.lanes[index][2 * lane] = static_cast<unsigned char>(lead ? at + 1 : at);
      if (lead) s.lanes[index][2 * lane + 1] = static_cast<unsigned char>(at);
      at += lead ? 2 : 1;
    }
  }
  return s;
}
inline constexpr window_shuffles WINDOWS = make_window_shuffles();

// Each byte of `bits`: how many of its bits are set.
constexpr uint64_t bits_in_bytes(uint64_t bits) {
  bits -= bits >> 1 & 0x5555555555555555ULL;
  bits = (bits & 0x3333333333333333ULL) + (bits >> 2 & 0x3333333333333333ULL);
  return (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
}

struct decode_block {
  bool little;
  const ascii_patches patches; // a copy, kept in registers across the blocks
  const uint16_t *table;       // the two-byte codes' characters, 0xFFFF for none
  kernel_state &state;
  lookup_queue &queue;

  // ASCII with at most SPARSE_CHARACTERS others, two-byte or halfwidth katakana (`others`:
  // mostly ASCII text with a word or two of Japanese): widened whole, its trail bytes squeezed
  // out, the few codes looked up one by one (halfwidth katakana by arithmetic).
  AVX2_TARGET size_t put_sparse(const unsigned char *block, const block_characters &c,
                                uint64_t others, unsigned char *&out) const {
    uint16_t found[SPARSE_CHARACTERS];
    unsigned pairs = 0;
    for (uint64_t rest = others; rest != 0; rest &= rest - 1, ++pairs) {
      const auto at = static_cast<unsigned>(__builtin_ctzll(rest));
      found[pairs] = (c.leads >> at & 1) != 0
                         ? table[(block[at] << 8 | block[at + 1]) - DOUBLE_FIRST]
                         : static_cast<uint16_t>(block[at] + (0xFF61 - 0xA1));
      if (found[pairs] == 0xFFFF) return 0;
    }
    const uint64_t keep = c.in_block & ~(c.leads << 1);
    unsigned count = 0;
    for (int k = 0; k < 4; ++k)
      count += put_lanes(widen(block + 16 * k, little, patches),
                         static_cast<unsigned>(keep >> (16 * k) & 0xFFFF), out + 2 * count);
    pairs = 0;
    for (uint64_t rest = others; rest != 0; rest &= rest - 1, ++pairs) {
      const auto place =
          static_cast<unsigned>(__builtin_popcountll(keep & ((rest & (0 - rest)) - 1)));
      const uint16_t unit = little ? found[pairs] : byte_swapped(found[pairs]);
      __builtin_memcpy(out + 2 * place, &unit, 2);
    }
    out += 2 * count;
    return c.in_block == ~0ULL ? 64 : 63;
  }

  // Any other block, in windows of 8 bytes, two to a vector: each window's characters as codes
  // by a shuffle (WINDOWS), ASCII and kana then written by arithmetic and the other codes queued
  // for the table. Each window's output goes where the characters before it end.
  AVX2_TARGET size_t put_mixed(const unsigned char *block, const block_characters &c,
                               unsigned char *&out, unsigned char *chunk_out,
                               size_t &queued) const {
    // Byte k: the characters that begin before window k (a sum of each byte's bit counts).
    const uint64_t through = bits_in_bytes(c.leads | c.singles) * 0x0101010101010101ULL;
    const uint64_t before = through << 8;
    const uint64_t leads_up = c.leads << 1;
    const __m256i window_places =
        _mm256_broadcastq_epi64(_mm_cvtsi64_si128(static_cast<long long>(before)));
    // Lanes 0-7 of a vector hold the first window's characters, lanes 8-15 the second's.
    const __m256i lane_places = _mm256_add_epi16(
        _mm256_slli_epi16(_mm256_and_si256(lane_numbers(), _mm256_set1_epi16(7)), 1),
        _mm256_set1_epi16(static_cast<short>(out - chunk_out)));
#pragma GCC unroll 4
    for (int k = 0; k < 8; k += 2) {
      auto shuffle_of = [&](int window) {
        return _mm_load_si128(
            reinterpret_cast<const __m128i *>(WINDOWS.lanes[leads_up >> 8 * window & 0x1FF]));
      };
      // The last window is read from 8 bytes before it, so as not to read past the block.
      const bool last = k == 6;
      const __m256i bytes =
          _mm256_loadu2_m128i(reinterpret_cast<const __m128i *>(block + (last ? 48 : 8 * k + 8)),
                              reinterpret_cast<const __m128i *>(block + 8 * k));
      __m128i second_shuffle = shuffle_of(k + 1);
      if (last) second_shuffle = _mm_add_epi8(second_shuffle, _mm_set1_epi8(8));
      const __m256i codes =
          _mm256_shuffle_epi8(bytes, _mm256_set_m128i(second_shuffle, shuffle_of(k)));
      __m256i kana;
      __m256i units = move_kana<true>(codes, kana);
      if (patches.count != 0) units = patch_ascii(units, patches);
      if (!little) units = swap_bytes(units);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * (before >> 8 * k & 0xFF)),
                       _mm256_castsi256_si128(units));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * (before >> 8 * (k + 1) & 0xFF)),
                       _mm256_extracti128_si256(units, 1));
      // Byte k of `before` in the first eight lanes, byte k + 1 in the others.
      const __m256i pick =
          _mm256_set_epi8(-1, k + 1, -1, k + 1, -1, k + 1, -1, k + 1, -1, k + 1, -1, k + 1, -1,
                          k + 1, -1, k + 1, -1, k, -1, k, -1, k, -1, k, -1, k, -1, k, -1, k, -1, k);
      const __m256i places = _mm256_add_epi16(
          lane_places, _mm256_slli_epi16(_mm256_shuffle_epi8(window_places, pick), 1));
      const __m256i doubles = _mm256_andnot_si256(
          kana,
          _mm256_cmpeq_epi16(
              _mm256_max_epu16(codes, _mm256_set1_epi16(static_cast<short>(DOUBLE_FIRST))), codes));
      queue_lanes(queue, table_index(codes), places, bits_of_lanes(doubles), queued);
    }
    out += 2 * (through >> 56);
    return c.in_block == ~0ULL ? 64 : 63;
  }

  static constexpr size_t BYTES = 64;

  [[gnu::always_inline]] AVX2_TARGET static bool ends_chunk(const unsigned char *block, size_t) {
    return takes_directly(block, 0);
  }
  [[gnu::always_inline]] AVX2_TARGET static bool takes_directly(const unsigned char *block,
                                                                size_t) {
    return _mm256_movemask_epi8(_mm256_or_si256(
               _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block)),
               _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + 32)))) == 0;
  }

  // Widens the blocks of ASCII at `from`, up to `most` of them; the bytes consumed.
  [[gnu::always_inline]] AVX2_TARGET size_t direct_blocks(const unsigned char *from, size_t size,
                                                          size_t readable, size_t most,
                                                          unsigned char *&out) const {
    size_t done = 0;
    unsigned char *at = out;
    for (size_t blocks = 0; blocks < most && size - done >= readable; ++blocks, done += BYTES) {
      if (!takes_directly(from + done, size - done)) break;
      const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + done));
      const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + done + 32));
      for (int k = 0; k < 4; ++k) {
        __m256i units;
        if (patches.count != 0) {
          units = widen(from + done + 16 * k, little, patches);
        } else { // each 32 bytes in lane order, interleaved with zeros
          const __m256i ordered = _mm256_permute4x64_epi64(k < 2 ? low : high, 0xD8);
          const __m256i zero = _mm256_setzero_si256();
          units = k % 2 == 0 ? (little ? _mm256_unpacklo_epi8(ordered, zero)
                                       : _mm256_unpacklo_epi8(zero, ordered))
                             : (little ? _mm256_unpackhi_epi8(ordered, zero)
                                       : _mm256_unpackhi_epi8(zero, ordered));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(at + 32 * k), units);
      }
      at += 128;
    }
    out = at;
    return done;
  }

  // A block that is not all ASCII (or that follows a run of ASCII blocks).
  [[gnu::always_inline]] AVX2_TARGET size_t operator()(const unsigned char *block,
                                                       unsigned char *&out,
                                                       unsigned char *chunk_out,
                                                       size_t &queued) const {
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + 32));
    const uint64_t non_ascii = mask_of(low, high);
    block_characters c;
    const uint64_t trail_ok = bytes_between(low, high, 0x40, 0xFC) &
                              ~mask_of(_mm256_cmpeq_epi8(low, _mm256_set1_epi8(0x7F)),
                                       _mm256_cmpeq_epi8(high, _mm256_set1_epi8(0x7F)));
    if (!find_block_characters(bytes_between(low, high, 0x81, 0x9F) |
                                   bytes_between(low, high, 0xE0, 0xFC),
                               trail_ok, ~non_ascii | bytes_between(low, high, 0xA1, 0xDF), c))
      return 0;
    const uint64_t others = c.leads | (c.singles & non_ascii);
    if (static_cast<unsigned>(__builtin_popcountll(others)) <= SPARSE_CHARACTERS) {
      // Looked up one by one where such blocks come between denser ones (Japanese prose with
      // Latin words); in a long stretch of them the portable kernel's SSE2 runs are faster.
      if (++state.sparse_run > SPARSE_RUN) return 0;
      return put_sparse(block, c, others, out);
    }
    state.sparse_run = 0;
    const auto base = static_cast<short>(out - chunk_out);
    if (c.leads == EVEN_BITS) { // 32 two-byte characters: the codes are the big-endian words
      for (int k = 0; k < 2; ++k) {
        const __m256i codes = swap_bytes(k == 0 ? low : high);
        __m256i kana;
        const __m256i units = move_kana<true>(codes, kana);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 32 * k),
                            little ? units : swap_bytes(units));
        const __m256i places =
            _mm256_add_epi16(_mm256_slli_epi16(lane_numbers(), 1),
                             _mm256_set1_epi16(static_cast<short>(base + 32 * k)));
        queue_lanes(queue, table_index(codes), places, ~bits_of_lanes(kana) & 0xFFFF, queued);
      }
      out += 64;
      return 64;
    }
    return put_mixed(block, c, out, chunk_out, queued);
  }
};

// The tier's part of convert_queued_chunks, up to `most` blocks: runs of blocks the tier writes
// directly (ASCII), in a loop of their own, the other blocks one by one, each recorded in the
// queue while the tier takes them.
template <typename BLOCK>
AVX2_TARGET inline size_t convert_chunk(const BLOCK convert_block, const unsigned char *from,
                                        size_t size, size_t readable, unsigned char *&out,
                                        unsigned char *chunk_out, size_t most, size_t &blocks,
                                        size_t &queued, bool &refused) {
  // Local copies (of the block too) that the stores cannot alias.
  size_t done = 0, recorded = blocks, lookups = queued, taken = 0;
  unsigned char *at = out;
  while (size - done >= readable && taken < most) {
    // Blocks the tier writes directly (ASCII; sparse ones; runs of two-byte codes, which use
    // the queue themselves) are taken so only while the chunk has recorded nothing: a queued
    // value may be written with a byte or two after it, which the output after it then
    // overwrites. After recorded ones, ASCII ends the chunk, and the others are queued.
    if (recorded != blocks) {
      if (convert_block.ends_chunk(from + done, size - done)) break;
    } else {
      const size_t ascii =
          convert_block.direct_blocks(from + done, size - done, readable, most - taken, at);
      done += ascii;
      taken += ascii / BLOCK::BYTES;
      if (size - done < readable || taken == most) break;
    }
    record_block(convert_block.queue, recorded, done, static_cast<size_t>(at - chunk_out), lookups);
    const size_t used = convert_block(from + done, at, chunk_out, lookups);
    if (used == 0) {
      refused = true;
      break;
    }
    done += used;
    ++recorded;
    ++taken;
  }
  out = at;
  blocks = recorded;
  queued = lookups;
  return done;
}

// The UTF-16 forms only: UTF-8 goes through the portable kernel.
template <unicode_form FORM>
inline size_t decode_cp932(const unsigned char *from, size_t size, size_t readable,
                           unsigned char *&to, kernel_state &state, const decode_setup &setup) {
  static_assert(FORM != unicode_form::utf8);
  const auto *table = reinterpret_cast<const uint16_t *>(setup.double_table);
  // A block reads one byte past itself, for the trail byte of a lead byte at its end.
  constexpr size_t BLOCK_READABLE = KERNEL_BLOCK + 1;
  constexpr bool LITTLE = traits_of(FORM).little;
  const decode_block block{LITTLE, setup.patches, table, state, *state.queue};
  const queued_values values{table, LITTLE, 0};
  auto chunk = [&](auto &&...arguments) { return convert_chunk(block, arguments...); };
  return run_queued_tier(from, size, readable, to, state, setup, BLOCK_READABLE, chunk, values,
                         portable::TIER.decode[FORM]);
}

} // namespace
} // namespace avx2
