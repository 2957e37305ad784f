// SPDX-License-Identifier: MIT
// CP932 to UTF-16 in blocks of 64 bytes (63 when the 64th is a lead byte, so that no character
// is cut). The tier refuses a block that holds an invalid byte or a bad trail byte, and one
// whose lookups find a code without a character.
// Only tier.cpp files include this: what it defines is internal to them, so that the compiler
// specialises and inlines it freely there.
#pragma once

#include "blocks.h"
#include "cp932_blocks.h"
#include "patched_ascii.h"
#include "portable/portable.h"
#include "scalar/ascii_runs.h"
#include "unicode_units.h"

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

// The UTF-16 units (native order) of the CP932 codes in `lanes` of `codes` (a byte, or lead *
// 256 + trail): ASCII and kana by arithmetic, the other codes gathered from the table;
// `unmapped` receives the lanes of codes without a character.
AVX512_TARGET inline __m512i units_of(__m512i codes, __mmask32 lanes, bool with_kana,
                                      const ascii_patches &patches, const uint16_t *table,
                                      __mmask32 &unmapped) {
  const __mmask32 ascii = _mm512_cmplt_epu16_mask(codes, _mm512_set1_epi16(0x80));
  __mmask32 kana = 0;
  __m512i units = with_kana ? move_kana<true>(codes, kana) : codes;
  if (patches.count != 0) units = patch_ascii(units, ascii, patches);
  const __mmask32 other = lanes & ~(ascii | kana);
  const __m512i index =
      _mm512_sub_epi16(codes, _mm512_set1_epi16(static_cast<short>(DOUBLE_FIRST)));
  const __m512i looked_up = gather_entries(index, other, table);
  unmapped = _mm512_mask_cmpeq_epi16_mask(other, looked_up, _mm512_set1_epi16(-1));
  return _mm512_mask_mov_epi16(units, other, looked_up);
}

// Finds the characters of a block that is not all ASCII (`high`: its bytes 0x80 and above);
// false when it holds an invalid byte or a bad trail byte.
AVX512_TARGET inline bool classify_block(__m512i bytes, uint64_t high, block_characters &c) {
  const uint64_t lead_range = bytes_between(bytes, 0x81, 0x9F) | bytes_between(bytes, 0xE0, 0xFC);
  const uint64_t trail_ok =
      bytes_between(bytes, 0x40, 0xFC) & ~_mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(0x7F));
  return find_block_characters(lead_range, trail_ok, ~high | bytes_between(bytes, 0xA1, 0xDF), c);
}

// One 16-bit code a character of the block (the byte, or lead * 256 + trail), in order: the
// characters that begin in its first 32 bytes in `first`, the others in `second`.
AVX512_TARGET inline void block_codes(__m512i bytes, const unsigned char *block, uint64_t leads,
                                      uint64_t singles, __m512i &first, __m512i &second,
                                      unsigned &count_first, unsigned &count_second) {
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
  first = _mm512_maskz_compress_epi16(
      first_chars, _mm512_mask_blend_epi16(static_cast<__mmask32>(leads), first_half, pair_first));
  second = _mm512_maskz_compress_epi16(
      second_chars,
      _mm512_mask_blend_epi16(static_cast<__mmask32>(leads >> 32), second_half, pair_second));
  count_first = static_cast<unsigned>(__builtin_popcount(first_chars));
  count_second = static_cast<unsigned>(__builtin_popcount(second_chars));
}

// A block of ASCII with at most SPARSE_CHARACTERS two-byte characters (mostly ASCII text with
// a word or two of Japanese) goes the cheap way: widened whole, its trail bytes squeezed out,
// the few codes looked up one by one.

struct decode_block {
  bool little;
  const ascii_patches patches; // a copy, kept in registers across the blocks
  const uint16_t *table;       // the two-byte codes' characters, 0xFFFF for none
  kernel_state *state;         // counts the sparse blocks in a row (null: not here)

  // `others`: the lead bytes, and any halfwidth katakana (by arithmetic).
  AVX512_TARGET size_t put_sparse_pairs(__m512i bytes, const unsigned char *block, uint64_t leads,
                                        uint64_t others, uint64_t in_block,
                                        unsigned char *&out) const {
    uint16_t found[SPARSE_CHARACTERS];
    int pairs = 0;
    for (uint64_t rest = others; rest != 0; rest &= rest - 1, ++pairs) {
      const auto at = static_cast<unsigned>(__builtin_ctzll(rest));
      found[pairs] = (leads >> at & 1) != 0 ? table[(block[at] << 8 | block[at + 1]) - DOUBLE_FIRST]
                                            : static_cast<uint16_t>(block[at] + (0xFF61 - 0xA1));
      if (found[pairs] == 0xFFFF) return 0;
    }
    const uint64_t trails = leads << 1;
    __m512i low_units = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(bytes));
    __m512i high_units = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(bytes, 1));
    if (patches.count != 0) { // only ASCII lanes can match; trail lanes are squeezed out
      low_units = patch_ascii(low_units, ~0u, patches);
      high_units = patch_ascii(high_units, ~0u, patches);
    }
    if (!little) low_units = swap_bytes(low_units), high_units = swap_bytes(high_units);
    const uint64_t keep = in_block & ~trails;
    const auto keep_low = static_cast<__mmask32>(keep),
               keep_high = static_cast<__mmask32>(keep >> 32);
    const auto low_count = static_cast<unsigned>(__builtin_popcount(keep_low));
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi16(keep_low, low_units));
    _mm512_storeu_si512(out + 2 * low_count, _mm512_maskz_compress_epi16(keep_high, high_units));
    pairs = 0;
    for (uint64_t rest = others; rest != 0; rest &= rest - 1, ++pairs) {
      const auto at = static_cast<unsigned>(__builtin_ctzll(rest));
      const auto lane = static_cast<unsigned>(__builtin_popcountll(keep & ((1ULL << at) - 1)));
      const uint16_t unit = little ? found[pairs] : byte_swapped(found[pairs]);
      __builtin_memcpy(out + 2 * lane, &unit, 2);
    }
    out += 2 * __builtin_popcountll(keep);
    return in_block == ~0ULL ? 64 : 63;
  }

  [[gnu::always_inline]] AVX512_TARGET size_t operator()(const unsigned char *block,
                                                         unsigned char *&out) const {
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
    block_characters c;
    if (!classify_block(bytes, high, c)) return 0;
    if (c.leads == EVEN_BITS) { // 32 two-byte characters: the codes are the big-endian words
      __mmask32 unmapped;
      const __m512i units = units_of(swap_bytes(bytes), ~0u, true, patches, table, unmapped);
      if (unmapped != 0) return 0;
      _mm512_storeu_si512(out, little ? units : swap_bytes(units));
      out += 64;
      return 64;
    }
    const uint64_t others = c.leads | (c.singles & high);
    if (__builtin_popcountll(others) <= SPARSE_CHARACTERS) {
      if (state != nullptr && ++state->sparse_run > SPARSE_RUN) return 0;
      return put_sparse_pairs(bytes, block, c.leads, others, c.in_block, out);
    }
    if (state != nullptr) state->sparse_run = 0;
    // Kana by arithmetic only where the block may hold some: a lead byte 0x82 or 0x83 (hiragana,
    // katakana), or a single byte 0xA1-0xDF (halfwidth katakana).
    const bool with_kana = ((c.leads & bytes_between(bytes, 0x82, 0x83)) | (c.singles & high)) != 0;
    __m512i codes_first, codes_second;
    unsigned count_first, count_second;
    block_codes(bytes, block, c.leads, c.singles, codes_first, codes_second, count_first,
                count_second);
    __mmask32 unmapped_first, unmapped_second;
    const __m512i first = units_of(codes_first, count_first >= 32 ? ~0u : (1u << count_first) - 1,
                                   with_kana, patches, table, unmapped_first);
    const __m512i second =
        units_of(codes_second, count_second >= 32 ? ~0u : (1u << count_second) - 1, with_kana,
                 patches, table, unmapped_second);
    if ((unmapped_first | unmapped_second) != 0) return 0;
    _mm512_storeu_si512(out, little ? first : swap_bytes(first));
    _mm512_storeu_si512(out + 2 * count_first, little ? second : swap_bytes(second));
    out += 2 * (count_first + count_second);
    return c.in_block == ~0ULL ? 64 : 63;
  }
};

// The UTF-8 of 16 codes (the 32-bit lanes of `codes` in `lanes`), each as its bytes in the low
// three bytes of its lane and its length in the top byte: ASCII as it is, halfwidth katakana
// by arithmetic, two-byte codes gathered from the ready-made table (0: no character).
AVX512_TARGET inline __m512i utf8_words(__m512i codes, __mmask16 lanes, const uint32_t *table,
                                        const ascii_patches &patches, __mmask16 &unmapped) {
  const __mmask16 ascii = lanes & _mm512_cmplt_epu32_mask(codes, _mm512_set1_epi32(0x80));
  const __mmask16 kana = lanes & _mm512_cmplt_epu32_mask(codes, _mm512_set1_epi32(0x100)) & ~ascii;
  const __mmask16 pairs = lanes & ~ascii & ~kana;
  const __m512i index = _mm512_sub_epi32(codes, _mm512_set1_epi32(DOUBLE_FIRST));
  const __m512i gathered =
      _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), pairs, index, table, 4);
  unmapped = _mm512_mask_cmpeq_epi32_mask(pairs, gathered, _mm512_setzero_si512());
  // U+FF61-U+FF9F: EF BD A1 ... EF BE 9F.
  const __m512i unit = _mm512_add_epi32(codes, _mm512_set1_epi32(0xFF61 - 0xA1));
  const __m512i kana_word = _mm512_or_si512(
      _mm512_set1_epi32(0x038080EF),
      _mm512_or_si512(_mm512_slli_epi32(
                          _mm512_and_si512(_mm512_srli_epi32(unit, 6), _mm512_set1_epi32(0x3F)), 8),
                      _mm512_slli_epi32(_mm512_and_si512(unit, _mm512_set1_epi32(0x3F)), 16)));
  __m512i words = _mm512_mask_or_epi32(gathered, ascii, codes, _mm512_set1_epi32(0x01000000));
  for (unsigned p = 0; p < patches.count; ++p) // the ASCII bytes letters changed
    words = _mm512_mask_mov_epi32(
        words, ascii & _mm512_cmpeq_epi32_mask(codes, _mm512_set1_epi32(patches.byte[p])),
        _mm512_set1_epi32(static_cast<int>(patches.utf8[p])));
  return _mm512_mask_mov_epi32(words, kana, kana_word);
}

// Writes the UTF-8 of `words` (as utf8_words) at `out`, a whole vector stored.
AVX512_TARGET inline unsigned char *put_utf8_words(__m512i words, unsigned char *out) {
  // Each lane's length in all four of its bytes, against the byte numbers 0 1 2 3.
  const __m512i lengths =
      _mm512_shuffle_epi8(words, _mm512_set4_epi32(0x0F0F0F0F, 0x0B0B0B0B, 0x07070707, 0x03030303));
  const uint64_t keep = _mm512_cmplt_epu8_mask(_mm512_set1_epi32(0x03020100), lengths);
  _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, words));
  return out + __builtin_popcountll(keep);
}

// varnok's UTF-8: a block's characters become their UTF-8 at once, the two-byte codes' from the
// ready-made table, the ASCII bytes that letters change (y, o) from their patches. The tier
// refuses a block that holds an invalid byte, a bad trail byte or a code without a character.
// PLACES: the bytes of the longest character a letter puts for an ASCII byte, 0 for none
// (without such a letter, no block pays for looking).
constexpr ascii_patches NO_PATCHES = {};
template <unsigned PLACES> struct decode_utf8_block {
  static constexpr bool PATCHED = PLACES != 0;
  const uint32_t *table;                           // decode_setup::utf8_double
  const patched_ascii<PATCHED ? PLACES : 1> ascii; // kept in registers across the blocks

  // The UTF-8 of a patched byte, as a sparse character of the block.
  sparse_character patched_character(unsigned at, unsigned byte) const {
    const uint32_t word = ascii.patches.utf8[scalar::patch_of(ascii.patches, byte)];
    return {at, 1, word, word >> 24};
  }

  [[gnu::always_inline]] AVX512_TARGET size_t operator()(const unsigned char *block,
                                                         unsigned char *&out) const {
    const __m512i bytes = _mm512_loadu_si512(block);
    const uint64_t high = _mm512_movepi8_mask(bytes);
    uint64_t hits[MOST_ASCII_PATCHES];
    if (high == 0) { // ASCII only: the same bytes, but for the patched ones
      if (PATCHED && ascii.find(bytes, hits) != 0) {
        out = ascii.put(block, bytes, hits, out);
        return 64;
      }
      _mm512_storeu_si512(out, bytes);
      out += 64;
      return 64;
    }
    block_characters c;
    if (!classify_block(bytes, high, c)) return 0;
    uint64_t patched = 0;
    if constexpr (PATCHED) patched = ascii.find(bytes, hits) & c.singles; // not trail bytes
    const uint64_t sparse = c.leads | (c.singles & high) | patched;
    if (__builtin_popcountll(sparse) <= SPARSE_CHARACTERS) {
      sparse_character characters[SPARSE_CHARACTERS];
      int count = 0;
      for (uint64_t rest = sparse; rest != 0; rest &= rest - 1, ++count) {
        const auto at = static_cast<unsigned>(__builtin_ctzll(rest));
        if ((patched >> at & 1) != 0) {
          characters[count] = patched_character(at, block[at]);
          continue;
        }
        if ((high >> at & 1) != 0 && (c.singles >> at & 1) != 0) { // halfwidth katakana
          const unsigned unit = block[at] + (0xFF61 - 0xA1);
          characters[count] = {
              at, 1, 0xEF | (0x80 | (unit >> 6 & 0x3F)) << 8 | (0x80 | (unit & 0x3F)) << 16, 3};
          continue;
        }
        const uint32_t word = table[(block[at] << 8 | block[at + 1]) - DOUBLE_FIRST];
        if (word == 0) return 0;
        characters[count] = {at, 2, word, word >> 24};
      }
      out = put_sparse(bytes, c.in_block == ~0ULL ? 64 : 63, characters, count, out);
      return c.in_block == ~0ULL ? 64 : 63;
    }
    __m512i halves[2];
    unsigned counts[2];
    if (c.leads == EVEN_BITS) { // 32 two-byte characters: the codes are the big-endian words
      halves[0] = swap_bytes(bytes), counts[0] = 32;
      halves[1] = halves[0], counts[1] = 0;
    } else {
      block_codes(bytes, block, c.leads, c.singles, halves[0], halves[1], counts[0], counts[1]);
    }
    __m512i words[4];
    __mmask16 unmapped = 0;
    for (unsigned k = 0; k < 4; ++k) {
      const unsigned count = counts[k / 2] > 16 * (k % 2) ? counts[k / 2] - 16 * (k % 2) : 0;
      const __mmask16 lanes = count >= 16 ? 0xFFFF : static_cast<__mmask16>((1u << count) - 1);
      const __m256i codes = k % 2 == 0 ? _mm512_castsi512_si256(halves[k / 2])
                                       : _mm512_extracti64x4_epi64(halves[k / 2], 1);
      __mmask16 missing;
      words[k] = utf8_words(_mm512_cvtepu16_epi32(codes), lanes, table,
                            PATCHED ? ascii.patches : NO_PATCHES, missing);
      unmapped |= missing;
    }
    if (unmapped != 0) return 0;
    unsigned char *at = out;
    for (unsigned k = 0; k < 4; ++k) at = put_utf8_words(words[k], at);
    out = at;
    return c.in_block == ~0ULL ? 64 : 63;
  }
};

template <unicode_form FORM>
inline size_t decode_cp932(const unsigned char *from, size_t size, size_t readable,
                           unsigned char *&to, kernel_state &state, const decode_setup &setup) {
  const auto *table = reinterpret_cast<const uint16_t *>(setup.double_table);
  // A block reads one byte past itself, for the trail byte of a lead byte at its end.
  constexpr size_t BLOCK_READABLE = KERNEL_BLOCK + 1;
  if constexpr (FORM == unicode_form::utf8) {
    auto simd = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
      const uint32_t *const table = setup.utf8_double;
      auto with = [&](auto places) {
        return convert_simd_blocks(at, left, BLOCK_READABLE,
                                   decode_utf8_block<places.value>{table, {setup.patches}}, out,
                                   refused);
      };
      // (y gives two bytes, o three; a patch of one byte fits two places as well.)
      if (setup.patches.count == 0) return with(std::integral_constant<unsigned, 0>{});
      if (places_of(setup.patches) <= 2) return with(std::integral_constant<unsigned, 2>{});
      return with(std::integral_constant<unsigned, 3>{});
    };
    return run_tier(from, size, readable, to, state, setup, BLOCK_READABLE, simd,
                    portable::TIER.decode[FORM]);
  }
  constexpr bool LITTLE = traits_of(FORM).little;
  auto simd = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
    return convert_simd_blocks(at, left, BLOCK_READABLE,
                               decode_block{LITTLE, setup.patches, table, &state}, out, refused);
  };
  return run_tier(from, size, readable, to, state, setup, BLOCK_READABLE, simd,
                  portable::TIER.decode[FORM]);
}

} // namespace
} // namespace avx512
