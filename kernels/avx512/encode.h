// SPDX-License-Identifier: MIT
// UTF-16 to CP932 in blocks of 32 units. The tier refuses a block that holds a surrogate,
// U+FFFE or U+FFFF, or an ASCII unit the rules must write (no code, markup with m), and one
// whose lookups find a unit without a code.
// Only tier.cpp files include this: what it defines is internal to them, so that the compiler
// specialises and inlines it freely there.
#pragma once

#include "blocks.h"
#include "portable/portable.h"
#include "unicode_units.h"

namespace avx512 {
namespace {

// The codes of the units of `units` in `lanes`: those in `ascii` as they are, the others
// gathered from the table; `unmapped` receives the lanes without a code. A gather reads the entry
// after its own too, so U+FFFE and U+FFFF (which have no code) are never gathered: the last read
// stays in the table.
AVX512_TARGET inline __m512i gathered_codes(__m512i units, __mmask32 lanes, __mmask32 ascii,
                                            const uint16_t *table, __mmask32 &unmapped) {
  const __mmask32 last_two = lanes & units_between(units, 0xFFFE, 0xFFFF);
  const __mmask32 looked_up = lanes & ~ascii & ~last_two;
  const __m512i codes = gather_entries(units, looked_up, table);
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

struct encode_block {
  bool little;
  const ascii_stops stops; // a copy, kept in registers across the blocks
  const uint16_t *table;
  [[gnu::always_inline]] AVX512_TARGET size_t operator()(const unsigned char *block,
                                                         unsigned char *&out) const {
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
    if (units_between(units, 0xD800, 0xDFFF) != 0) return 0;
    __mmask32 unmapped;
    const __m512i codes = gathered_codes(units, ~0u, ascii, table, unmapped);
    if (unmapped != 0) return 0;
    out = put_gathered_codes(codes, ~0u, out);
    return 64;
  }
};

// One block of up to 64 bytes of UTF-8: shorter when a character would be cut at its end, or
// when it holds more than 32 characters. The tier refuses a block that holds anything but ASCII
// and well-formed two- and three-byte sequences with lead bytes C2-DF, E1-EC, EE, EF (so no
// overlong form, no surrogate; the rare E0 and ED leads, four-byte sequences and ill-formed
// bytes go to the portable kernel), an ASCII byte that letters changed, or a character without
// a code.
struct utf8_block {
  const ascii_stops stops; // a copy, kept in registers across the blocks
  const uint16_t *table;
  kernel_state &state; // counts the sparse blocks in a row
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
    const auto block_bytes = static_cast<unsigned>(cut != 0 ? __builtin_ctzll(cut) : 64);
    const uint64_t in_block = block_bytes == 64 ? ~0ULL : (1ULL << block_bytes) - 1;
    // The continuation bytes the block's own sequences need, checked wherever they fall: a
    // sequence that begins in the block may end past its bytes (a two-byte lead at 62 when a
    // lead byte at 63 cut the block), and a byte there that is no continuation makes the
    // sequence ill-formed.
    const uint64_t expected =
        (lead2 & in_block) << 1 | (lead3 & in_block) << 1 | (lead3 & in_block) << 2;
    if (((continuation & (in_block | expected)) ^ expected) != 0) return 0;
    const uint64_t starts = ~continuation & in_block;
    if (__builtin_popcountll(starts & high) <= SPARSE_CHARACTERS) {
      // In a long stretch of sparse blocks the portable kernel's SSE2 runs are faster.
      if (++state.sparse_run > SPARSE_RUN) return 0;
      sparse_character others[SPARSE_CHARACTERS];
      int count = 0;
      for (uint64_t rest = starts & high; rest != 0; rest &= rest - 1, ++count) {
        const auto at = static_cast<unsigned>(__builtin_ctzll(rest));
        const bool two = (lead2 >> at & 1) != 0;
        const unsigned unit = two ? (block[at] & 0x1Fu) << 6 | (block[at + 1] & 0x3Fu)
                                  : (block[at] & 0x0Fu) << 12 | (block[at + 1] & 0x3Fu) << 6 |
                                        (block[at + 2] & 0x3Fu);
        const unsigned code = table[unit];
        if (code == 0xFFFF) return 0;
        const unsigned sequence_bytes = two ? 2 : 3;
        others[count] = code < 0x100 ? sparse_character{at, sequence_bytes, code, 1}
                                     : sparse_character{at, sequence_bytes,
                                                        (code >> 8) | (code & 0xFF) << 8, 2};
      }
      out = put_sparse(bytes, block_bytes, others, count, out);
      return block_bytes;
    }
    state.sparse_run = 0;
    // At most 32 characters, so that their units fit one vector: the block ends before the
    // 33rd.
    uint64_t characters = starts;
    unsigned consumed = block_bytes;
    if (__builtin_popcountll(starts) > 32) {
      const uint64_t next = _pdep_u64(1ULL << 32, starts);
      consumed = static_cast<unsigned>(__builtin_ctzll(next));
      characters = starts & (next - 1);
    }
    // The bytes of each character side by side: first, second and third.
    const __m512i b0 =
        _mm512_cvtepu8_epi16(_mm512_castsi512_si256(_mm512_maskz_compress_epi8(characters, bytes)));
    const __m512i b1 = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(
        _mm512_maskz_compress_epi8(characters, _mm512_loadu_si512(block + 1))));
    const __m512i b2 = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(
        _mm512_maskz_compress_epi8(characters, _mm512_loadu_si512(block + 2))));
    const auto count = static_cast<unsigned>(__builtin_popcountll(characters));
    const __mmask32 lanes = count >= 32 ? ~0u : (1u << count) - 1;
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
    __mmask32 unmapped;
    const __mmask32 ascii = _mm512_cmplt_epu16_mask(units, _mm512_set1_epi16(0x80));
    const __m512i codes = gathered_codes(units, lanes, ascii, table, unmapped);
    if (unmapped != 0) return 0;
    out = put_gathered_codes(codes, lanes, out);
    return consumed;
  }
};

template <unicode_form FORM>
inline size_t encode_cp932(const unsigned char *from, size_t size, size_t readable,
                           unsigned char *&to, kernel_state &state, const encode_setup &setup) {
  if constexpr (FORM == unicode_form::utf8) {
    // A block reads two bytes past itself, for the rest of a sequence that begins at its end.
    constexpr size_t BLOCK_READABLE = KERNEL_BLOCK + 2;
    auto simd = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
      return convert_simd_blocks(at, left, BLOCK_READABLE,
                                 utf8_block{setup.stops, setup.table, state}, out, refused);
    };
    return run_tier(from, size, readable, to, state, setup, BLOCK_READABLE, simd,
                    portable::TIER.encode[FORM]);
  }
  constexpr bool LITTLE = traits_of(FORM).little;
  auto simd = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
    return convert_simd_blocks(at, left, KERNEL_BLOCK,
                               encode_block{LITTLE, setup.stops, setup.table}, out, refused);
  };
  return run_tier(from, size, readable, to, state, setup, KERNEL_BLOCK, simd,
                  portable::TIER.encode[FORM]);
}

} // namespace
} // namespace avx512
