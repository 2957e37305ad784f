// SPDX-License-Identifier: MIT
// The AVX2 tier's runs for dostrel -u: ASCII 64 bytes a step once a run is long, and
// three-byte UTF-8 (kana, kanji) ten characters a step, checked at once and made units by fixed
// shuffles, their codes looked up with no branch on what they are and written two bytes apart.
// The portable kernel runs with them (tier.cpp); the AVX2 steps are functions of their own, so
// that the kernel's loop stays the portable one.
// Only tier.cpp files include this.
#pragma once

#include "ascii_runs.h"
#include "blocks.h"
#include "portable/encode.h"

namespace avx2 {
namespace {

struct utf8_runs {
  // Lead bytes E1-EC, EE, EF at bytes 0, 3, ... 27, and continuation bytes between them: ten
  // well-formed characters, none of them a surrogate or an overlong form.
  static constexpr uint32_t LEADS = 0x09249249, TAILS = LEADS << 1 | LEADS << 2;
  // A step reads 32 bytes; the frame leaves a shorter rest to the portable kernel.
  static constexpr size_t READABLE = 32;

  // The units of the ten three-byte characters at `from`, in lanes 0-4 and 8-12, by fixed
  // shuffles: five from bytes 0-14, five from bytes 15-29.
  AVX2_TARGET static __m256i ten_units(const unsigned char *from) {
    const __m256i halves = _mm256_loadu2_m128i(reinterpret_cast<const __m128i *>(from + 15),
                                               reinterpret_cast<const __m128i *>(from));
    const __m256i first = _mm256_shuffle_epi8(
        halves, _mm256_setr_epi8(0, -1, 3, -1, 6, -1, 9, -1, 12, -1, -1, -1, -1, -1, -1, -1, 0, -1,
                                 3, -1, 6, -1, 9, -1, 12, -1, -1, -1, -1, -1, -1, -1));
    const __m256i second = _mm256_shuffle_epi8(
        halves, _mm256_setr_epi8(1, -1, 4, -1, 7, -1, 10, -1, 13, -1, -1, -1, -1, -1, -1, -1, 1, -1,
                                 4, -1, 7, -1, 10, -1, 13, -1, -1, -1, -1, -1, -1, -1));
    const __m256i third = _mm256_shuffle_epi8(
        halves, _mm256_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, 14, -1, -1, -1, -1, -1, -1, -1, 2, -1,
                                 5, -1, 8, -1, 11, -1, 14, -1, -1, -1, -1, -1, -1, -1));
    const __m256i low6 = _mm256_set1_epi16(0x3F);
    return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(first, 12),
                                           _mm256_slli_epi16(_mm256_and_si256(second, low6), 6)),
                           _mm256_and_si256(third, low6));
  }

  // Writes the two-byte codes of the ten units of `units` (as ten_units gives them) at `out`,
  // two bytes apart, with no branch on what they are; false when one has no code of two bytes
  // (a step the rules must write counts no bytes; halfwidth katakana and some letters' codes
  // have one), which the loop of one at a time then writes over.
  AVX2_TARGET static bool put_ten(__m256i units, const uint32_t *steps, unsigned char *out) {
    uint16_t lanes[16];
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(lanes), units);
    uint32_t every = ~0u;
    unsigned place = 0;
    for (const unsigned lane : {0, 1, 2, 3, 4, 8, 9, 10, 11, 12}) {
      const uint32_t step = steps[lanes[lane]];
      every &= step;
      __builtin_memcpy(out + place, &step, 4);
      place += 2;
    }
    return (every & 2u << 16) != 0;
  }

  // ASCII 16 bytes a step, as the portable kernel takes it (most runs of ASCII in Japanese text
  // are short, and a wider step only costs them where it ends them); a run that reaches
  // NARROW_FIRST bytes goes on 64 bytes a step.
  static constexpr size_t NARROW_FIRST = 128;
  static size_t ascii(const unsigned char *from, const unsigned char *stop, unsigned char *to,
                      const ascii_stops &stops) {
    const size_t first = sse2::copy_ascii(
        from, from + std::min(static_cast<size_t>(stop - from), NARROW_FIRST), to, stops);
    if (first != NARROW_FIRST) return first;
    return first + wide_ascii(from + first, stop, to + first, stops);
  }
  [[gnu::noinline, gnu::flatten]] AVX2_TARGET static size_t wide_ascii(const unsigned char *from,
                                                                       const unsigned char *stop,
                                                                       unsigned char *to,
                                                                       const ascii_stops &stops) {
    return sse2::copy_ascii_pairs<wide_block>(from, stop, to, stops);
  }

  // Ten characters a step while the run has them; then its last few (those before the first
  // byte that breaks the pattern) in one more step whose lanes past them repeat the first
  // character. A run thus ends with one branch, as the loop of one at a time does; a step the
  // rules or a one-byte code refuse is left to that loop (and `refused` set).
  AVX2_TARGET static const unsigned char *
  ten_at_a_time(const unsigned char *from, const unsigned char *last, const unsigned char *end,
                unsigned char *&to, const uint32_t *steps, bool &refused) {
    unsigned char *out = to;
    while (last > from && end - from >= 32) {
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from));
      const auto leads = static_cast<uint32_t>(_mm256_movemask_epi8(
          _mm256_or_si256(between(bytes, 0xE1, 0xEC), between(bytes, 0xEE, 0xEF))));
      const auto tails = static_cast<uint32_t>(_mm256_movemask_epi8(between(bytes, 0x80, 0xBF)));
      const uint32_t broken = (~leads & LEADS) | (~tails & TAILS);
      if (broken == 0 && last - from >= 28) { // the common case, its pointers free of the data
        if (!put_ten(ten_units(from), steps, out)) {
          refused = true;
          break;
        }
        out += 20;
        from += 30;
        continue;
      }
      // Whole characters before the first broken byte (its place divided by 3), and that begin
      // before `last`.
      auto count = static_cast<unsigned>(__builtin_ctz(broken | 1u << 30)) * 11 >> 5;
      if (last - from < 30) count = std::min(count, static_cast<unsigned>(last - from + 2) / 3);
      if (count == 0) break;
      const __m256i units = ten_units(from);
      const __m256i numbers =
          _mm256_setr_epi16(0, 1, 2, 3, 4, 15, 15, 15, 5, 6, 7, 8, 9, 15, 15, 15);
      const __m256i counted =
          _mm256_cmpgt_epi16(_mm256_set1_epi16(static_cast<short>(count)), numbers);
      const __m256i first = _mm256_broadcastw_epi16(_mm256_castsi256_si128(units));
      if (!put_ten(_mm256_blendv_epi8(first, units, counted), steps, out)) {
        refused = true;
        break;
      }
      out += 2 * count;
      from += 3 * count;
      break;
    }
    to = out;
    return from;
  }

  // A run taken while the runs take steps: where it ends in the input and in the output, and
  // the runs' score after it.
  struct stepped_run {
    const unsigned char *from;
    unsigned char *out;
    unsigned score;
  };
  // Takes a run by ten_at_a_time and the loop of one at a time after it. It is called, not
  // inlined: its registers would crowd the kernel's loop, which then kept its pointers on the
  // stack; what it changes comes back by value for the same reason.
  [[gnu::noinline, gnu::flatten]] AVX2_TARGET static stepped_run
  take_steps(const unsigned char *from, const unsigned char *last, const unsigned char *end,
             unsigned char *out, const uint32_t *steps, unsigned score) {
    bool refused = false;
    const unsigned char *at = ten_at_a_time(from, last, end, out, steps, refused);
    at = portable::encode_three_byte_singles(at, last, out, steps);
    score += static_cast<unsigned>(at - from) - score / 8;
    return {at, out, refused ? 0 : score};
  }

  // The steps of ten pay from about eight characters a run; shorter runs (a kanji or two
  // between ASCII) are faster one at a time, in the portable kernel itself. So the runs keep
  // their recent length in bytes, times 8 (each run adds its length and an eighth fades); below
  // LONG_RUN_BYTES, or after a refused step, they take no more runs and the kernel returns
  // (`refused` set), for the tier's frame to send a stretch to the portable kernel.
  static constexpr unsigned LONG_RUN_BYTES = 24;
  unsigned run_score = 8 * LONG_RUN_BYTES + 8 * LONG_RUN_BYTES / 2;
  bool refused = false;

  const unsigned char *three_byte(const unsigned char *from, const unsigned char *last,
                                  const unsigned char *end, unsigned char *&to,
                                  const uint32_t *steps) {
    if (refused) return from;
    const stepped_run run = take_steps(from, last, end, to, steps, run_score);
    to = run.out;
    run_score = run.score;
    refused = run_score < 8 * LONG_RUN_BYTES;
    return run.from;
  }
};

} // namespace
} // namespace avx2
