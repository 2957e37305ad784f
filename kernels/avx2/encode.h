// SPDX-License-Identifier: MIT
// UTF-16 to CP932 in blocks of 32 units:
// - ASCII blocks narrowed in a loop of their own, and blocks of ASCII with a few other
//   characters (sparse) with the others' codes written between the runs;
// - runs of UTF-16 units that all take two bytes (kana, kanji) by the portable kernel's loop;
// - any other UTF-16 block: each character made a 16-bit unit in the vectors and queued with
//   the place of its code (one byte for ASCII and halfwidth katakana, two for the others), and
//   written after its chunk by the portable tier's steps (portable/encode_steps.h), with no
//   branch on what the unit is.
// The tier refuses a block that holds a unit the rules must write (no code, a surrogate, markup
// with m) or a unit whose code has another length than its kind: the portable kernel takes
// them.
// Only tier.cpp files include this: what it defines is internal to them, so that the compiler
// specialises and inlines it freely there.
#pragma once

#include "decode.h"
#include "portable/encode.h"
#include "portable/encode_steps.h"

#include <cstdint>

namespace avx2 {
namespace {

// Units of a sparse block besides its ASCII, at most.
constexpr int SPARSE_UNITS = 6;

// 1 in each 16-bit lane of `units` whose code takes one byte by its kind (ASCII, halfwidth
// katakana), else 2: where the codes go is known before they are looked up.
AVX2_TARGET inline __m256i kind_lengths(__m256i units) {
  const __m256i one_byte = _mm256_or_si256(
      _mm256_cmpeq_epi16(_mm256_and_si256(units, _mm256_set1_epi16(static_cast<short>(0xFF80))),
                         _mm256_setzero_si256()),
      units_between(units, 0xFF61, 0xFF9F));
  return _mm256_add_epi16(_mm256_set1_epi16(2), one_byte);
}

// Narrows the blocks of UTF-16 ASCII at `from` that hold none of `stops`, up to `most` of them,
// to `to`, in a loop of their own with the byte order fixed; the blocks narrowed.
template <bool LITTLE>
AVX2_TARGET inline size_t narrow_ascii_blocks(const unsigned char *from, size_t most,
                                              const ascii_stops &stops, unsigned char *&to) {
  // The bits that are clear in a unit below 0x80, in the order its bytes lie.
  const __m256i high = _mm256_set1_epi16(static_cast<short>(LITTLE ? 0xFF80 : 0x80FF));
  size_t blocks = 0;
  unsigned char *at = to;
  for (; blocks < most; ++blocks, from += 64, at += 32) {
    __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from));
    __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + 32));
    // A stop compared bytewise: the other byte of an ASCII unit is zero, never a stop.
    if (!_mm256_testz_si256(_mm256_or_si256(first, second), high) || any_stop(first, second, stops))
      break;
    if (!LITTLE) first = _mm256_srli_epi16(first, 8), second = _mm256_srli_epi16(second, 8);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(at),
                        _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8));
  }
  to = at;
  return blocks;
}

struct encode_block {
  bool little;
  const ascii_stops stops; // a copy, kept in registers across the blocks
  const encode_setup *setup;
  lookup_queue &queue;

  static constexpr size_t BYTES = 64;

  // ASCII ends a chunk, and a run of two-byte units of TWO_BYTE_RUN blocks or more (`left`: the
  // bytes from `block` on); shorter runs among mixed blocks stay queued. Kanji with a unit of one
  // byte every 64 took 1.46 times the portable kernel's time when every run began a chunk of its
  // own; with this bound, runs of 1.5 to 8 blocks take 0.89 to 1.10 of it (at 2 blocks: 1.20).
  static constexpr size_t TWO_BYTE_RUN = 4;
  [[gnu::always_inline]] AVX2_TARGET bool ends_chunk(const unsigned char *block,
                                                     size_t left) const {
    __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block));
    __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + 32));
    if (!little) first = swap_bytes(first), second = swap_bytes(second);
    if (ascii_only(first, second)) return true;
    if (!all_two_bytes(first, second) || left < TWO_BYTE_RUN * BYTES) return false;
    for (size_t k = 1; k < TWO_BYTE_RUN; ++k) {
      first = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + k * BYTES));
      second = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + k * BYTES + 32));
      if (!little) first = swap_bytes(first), second = swap_bytes(second);
      if (!all_two_bytes(first, second)) return false;
    }
    return true;
  }
  // Units that all take two bytes by their kind (kana and kanji: no ASCII, no halfwidth
  // katakana).
  AVX2_TARGET static bool all_two_bytes(__m256i first, __m256i second) {
    const __m256i one_byte =
        _mm256_or_si256(_mm256_cmpeq_epi16(kind_lengths(first), _mm256_set1_epi16(1)),
                        _mm256_cmpeq_epi16(kind_lengths(second), _mm256_set1_epi16(1)));
    return _mm256_testz_si256(one_byte, one_byte);
  }
  AVX2_TARGET bool ascii_only(__m256i first, __m256i second) const {
    return _mm256_testz_si256(_mm256_or_si256(first, second),
                              _mm256_set1_epi16(static_cast<short>(0xFF80))) &&
           !any_stop(first, second, stops);
  }

  // Writes the blocks at `from` that the tier writes directly (ASCII that no letter changed,
  // sparse blocks, runs of two-byte units), up to `most` of them; the bytes consumed.
  [[gnu::always_inline]] AVX2_TARGET size_t direct_blocks(const unsigned char *from, size_t size,
                                                          size_t readable, size_t most,
                                                          unsigned char *&out) const {
    size_t done = 0;
    unsigned char *at = out;
    for (size_t blocks = 0; blocks < most && size - done >= readable;) {
      const size_t whole = std::min(most - blocks, (size - done - readable) / BYTES + 1);
      const size_t ascii = little ? narrow_ascii_blocks<true>(from + done, whole, stops, at)
                                  : narrow_ascii_blocks<false>(from + done, whole, stops, at);
      done += ascii * BYTES;
      blocks += ascii;
      if (blocks == most || size - done < readable) break;
      __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + done));
      __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + done + 32));
      if (!little) first = swap_bytes(first), second = swap_bytes(second);
      if (!all_two_bytes(first, second)) {
        // ASCII with a few other units: sparse.
        const __m256i ascii_units = _mm256_set1_epi16(static_cast<short>(0xFF80));
        const auto other = static_cast<uint32_t>(
            bits_of_lanes(_mm256_xor_si256(
                _mm256_cmpeq_epi16(_mm256_and_si256(first, ascii_units), _mm256_setzero_si256()),
                _mm256_set1_epi8(-1))) |
            bits_of_lanes(_mm256_xor_si256(
                _mm256_cmpeq_epi16(_mm256_and_si256(second, ascii_units), _mm256_setzero_si256()),
                _mm256_set1_epi8(-1)))
                << 16);
        if (size - done < SPARSE_READABLE || __builtin_popcount(other) > SPARSE_UNITS ||
            any_stop(first, second, stops) || !put_sparse(from + done, other, at))
          break;
        done += BYTES;
        ++blocks;
        continue;
      }
      // A run of two-byte codes (kana, kanji) by the portable kernel's loop, which measured
      // faster than queuing them (the same on two-byte text, 0.63 of the time on one kanji
      // after another: a lookup and a store a unit either way, and nothing else in the loop).
      const unsigned char *const run_end =
          from + done + std::min(size - done, (most - blocks) * BYTES);
      const unsigned char *const after =
          little ? portable::encode_pairs<unicode_form::utf16_little>(from + done, run_end, run_end,
                                                                      at, setup->table)
                 : portable::encode_pairs<unicode_form::utf16_big>(from + done, run_end, run_end,
                                                                   at, setup->table);
      const auto used = static_cast<size_t>(after - (from + done));
      if (used == 0) break; // a code of one byte or none: the queue's steps take the block
      done += used;
      blocks += used / BYTES;
      // A run of two blocks or more goes on past the unit it stopped at (a letter or a digit
      // among kanji) by that unit's step, as in the portable kernel: else the blocks after it,
      // short of a run that ends a chunk, were all queued (runs of 128 kanji with a letter
      // after each took 1.14 of the portable kernel's time). Shorter runs are faster queued.
      if (used >= 2 * BYTES && run_end - after >= 2) {
        const uint32_t step = setup->steps[unit_at(after)];
        if ((step & portable::ENCODE_STEP_RULES) != 0) break;
        at = portable::put_step(at, step);
        done += 2;
      }
    }
    out = at;
    return done;
  }

  // The unit at `at`, in the input's byte order.
  unsigned unit_at(const unsigned char *at) const {
    return little ? load_unit<unicode_form::utf16_little>(at)
                  : load_unit<unicode_form::utf16_big>(at);
  }

  // A sparse block moves its runs of ASCII with loads that reach this far.
  static constexpr size_t SPARSE_READABLE = 2 * BYTES;

  // 32 units at `from` narrowed to bytes at `to` (their high bytes dropped).
  AVX2_TARGET void narrow(const unsigned char *from, unsigned char *to) const {
    __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from));
    __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + 32));
    if (!little)
      first = _mm256_srli_epi16(first, 8), second = _mm256_srli_epi16(second, 8);
    else
      first = _mm256_and_si256(first, _mm256_set1_epi16(0xFF)),
      second = _mm256_and_si256(second, _mm256_set1_epi16(0xFF));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(to),
                        _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8));
  }

  // Writes a block of ASCII with the units `other` (bits) between its runs at `out`: the runs
  // narrowed where they go, each other unit's code between them by its step. False (and `out`
  // as it was) when a unit needs the rules.
  AVX2_TARGET bool put_sparse(const unsigned char *block, uint32_t other,
                              unsigned char *&out) const {
    unsigned char *at = out;
    narrow(block, at);
    unsigned from = 0;
    for (uint32_t rest = other; rest != 0; rest &= rest - 1) {
      const auto place = static_cast<unsigned>(__builtin_ctz(rest));
      at += place - from;
      const uint32_t step = setup->steps[unit_at(block + 2 * place)];
      if ((step & portable::ENCODE_STEP_RULES) != 0) return false;
      __builtin_memcpy(at, &step, 4);
      at += step >> 16 & 3;
      from = place + 1;
      narrow(block + 2 * from, at);
    }
    out = at + (32 - from);
    return true;
  }

  // A block that is not all ASCII (or that follows a run of ASCII blocks): every unit queued.
  [[gnu::always_inline]] AVX2_TARGET size_t operator()(const unsigned char *block,
                                                       unsigned char *&out,
                                                       unsigned char *chunk_out,
                                                       size_t &queued) const {
    __m256i end = _mm256_set1_epi16(static_cast<short>(out - chunk_out));
    for (int k = 0; k < 2; ++k) {
      __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + 32 * k));
      if (!little) units = swap_bytes(units);
      const __m256i lengths = kind_lengths(units);
      const __m256i ends = _mm256_add_epi16(sums_through(lengths), end);
      queue_lanes(queue, units, _mm256_sub_epi16(ends, lengths), 0xFFFF, queued);
      end = last_lane(ends);
    }
    out = chunk_out + static_cast<uint16_t>(_mm256_cvtsi256_si32(end));
    return BYTES;
  }
};

// The UTF-16 forms only: UTF-8 has a kernel of its own (utf8_blocks.h).
template <unicode_form FORM>
inline size_t encode_cp932(const unsigned char *from, size_t size, size_t readable,
                           unsigned char *&to, kernel_state &state, const encode_setup &setup) {
  static_assert(FORM != unicode_form::utf8);
  const queued_steps values{setup.steps,
                            portable::ENCODE_STEP_RULES | portable::ENCODE_STEP_OTHER_LENGTH};
  const encode_block block{traits_of(FORM).little, setup.stops, &setup, *state.queue};
  auto chunk = [&](auto &&...arguments) { return convert_chunk(block, arguments...); };
  return run_queued_tier(from, size, readable, to, state, setup, encode_block::BYTES, chunk, values,
                         portable::TIER.encode[FORM]);
}

} // namespace
} // namespace avx2
