// SPDX-License-Identifier: MIT
// The AVX2 tier's UTF-8 to CP932 (dostrel -u), in blocks of up to 32 bytes written directly,
// each with a fixed amount of work whatever mix of ASCII and kana or kanji it holds: Japanese
// text switches between them every few characters, and a branch on each switch (as the
// portable kernel takes them) costs more than the block's work.
// - ASCII: copied, two blocks a step while there are.
// - ASCII with three-byte sequences (lead bytes E1-EC, EE, EF: no overlong form, no
//   surrogate): the block is stored as it is, then each of up to ten characters' code at its
//   place, followed again by the 32 bytes after it (each character's UTF-8 is a byte longer
//   than its code, so the bytes after the j-th one move j + 1 places back). A block of one or
//   two such characters makes their units one by one; a long stretch of such blocks goes to
//   the portable kernel, whose runs of ASCII are faster there.
// - Ten three-byte characters: their codes two bytes apart, by fixed shuffles.
// A block with anything else (two- or four-byte sequences, E0 or ED lead bytes, ill-formed
// bytes, an ASCII byte that a letter changes, a character whose code is not two bytes long or
// that only the rules write) is refused, for the tier's frame to send a stretch to the portable
// kernel.
// Only tier.cpp files include this.
#pragma once

#include "blocks.h"
#include "portable/encode_steps.h"

namespace avx2 {
namespace {

struct utf8_blocks {
  const ascii_stops stops; // a copy, kept in registers across the blocks
  const uint32_t *steps;
  kernel_state &state; // counts the sparse blocks in a row

  static constexpr size_t BYTES = 32;
  // The most characters of a block (ten three-byte ones fill 30 bytes; an eleventh would be
  // cut at its end), and how far past a block its reads reach: the 32 bytes after a character
  // that begins at a place past the block, for a character that is not there (below).
  static constexpr unsigned MOST_CHARACTERS = 10;
  static constexpr size_t READABLE = BYTES + MOST_CHARACTERS + 3 + 32;
  // Lead bytes at bytes 0, 3, ... 27: ten characters in a row.
  static constexpr uint32_t TEN_LEADS = 0x09249249;
  // A kanji whose code no letter changes: the unit of the characters that are not there.
  static constexpr uint16_t STAND_IN = 0x4E9C;
  // The most characters of a sparse block: ASCII but for them (see put_sparse).
  static constexpr unsigned SPARSE_CHARACTERS = 2;

  AVX2_TARGET static __m256i load(const unsigned char *at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
  }
  AVX2_TARGET static void store(unsigned char *at, __m256i bytes) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(at), bytes);
  }

  // The lead bytes of a block of ASCII and well-formed three-byte sequences (lead bytes E1-EC,
  // EE, EF), bit k for byte k, and the bytes the block takes (32, or where a sequence that
  // would be cut at its end begins); false for anything else.
  AVX2_TARGET static bool lay_out(__m256i bytes, uint32_t &leads, unsigned &block_bytes) {
    const auto high = static_cast<uint32_t>(_mm256_movemask_epi8(bytes));
    const auto tails = static_cast<uint32_t>(_mm256_movemask_epi8(between(bytes, 0x80, 0xBF)));
    leads = static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_or_si256(between(bytes, 0xE1, 0xEC), between(bytes, 0xEE, 0xEF))));
    if ((high & ~(tails | leads)) != 0) return false;
    const uint32_t cut = leads & 3u << 30;
    // A branch, not a select: the bytes a block takes decide where the next one is read, and
    // a value computed from the bytes would chain each block's loads to the last one's.
    block_bytes = 32;
    if (__builtin_expect(cut != 0, 0)) block_bytes = static_cast<unsigned>(__builtin_ctz(cut));
    const uint32_t in_block = block_bytes == 32 ? ~0u : (1u << block_bytes) - 1;
    leads &= in_block;
    return (tails & in_block) == (leads << 1 | leads << 2);
  }

  // The unit of the three-byte sequence that would begin at each of the 32 bytes at `block`,
  // into units[0-31], and STAND_IN into units[32-47].
  AVX2_TARGET static void units_at(const unsigned char *block, uint16_t *units) {
    const __m256i low6 = _mm256_set1_epi16(0x3F);
    for (int k = 0; k < 2; ++k) {
      const unsigned char *at = block + 16 * k;
      const __m256i b0 =
          _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at)));
      const __m256i b1 =
          _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 1)));
      const __m256i b2 =
          _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 2)));
      const __m256i unit =
          _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(b0, 12),
                                          _mm256_slli_epi16(_mm256_and_si256(b1, low6), 6)),
                          _mm256_and_si256(b2, low6));
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(units + 16 * k), unit);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(units + 32),
                        _mm256_set1_epi16(static_cast<short>(STAND_IN)));
  }

  // Writes a block of ASCII with the three-byte sequences `leads` at `out` (see the top), up to
  // LANES of them, each one's unit from `unit_of(place, j)` (the j-th character, at byte
  // `place`). The characters that are not there (past the block's count) stand at bytes 32 on,
  // and unit_of gives them STAND_IN: their places fall at or past the block's output, which the
  // next block overwrites. False (the output past `out` spoilt) when a character's code is not
  // two bytes long.
  template <unsigned LANES, typename UNIT_OF>
  AVX2_TARGET bool put_characters(const unsigned char *block, uint32_t leads, unsigned block_bytes,
                                  unsigned char *&out, UNIT_OF unit_of) const {
    unsigned char *const at = out;
    store(at, load(block));
    uint64_t rest = leads | uint64_t{(1u << LANES) - 1} << 32;
    uint32_t every = ~0u;
#pragma GCC unroll 10
    for (unsigned j = 0; j < LANES; ++j, rest &= rest - 1) {
      const auto place = static_cast<unsigned>(__builtin_ctzll(rest));
      const uint32_t step = steps[unit_of(place, j)];
      every &= step;
      __builtin_memcpy(at + place - j, &step, 4);
      store(at + place - j + 2, load(block + place + 3));
    }
    if ((every & 2u << 16) == 0) return false;
    out = at + block_bytes - __builtin_popcount(leads);
    return true;
  }

  // A block of up to MOST_CHARACTERS characters: the units of all its bytes made at once.
  AVX2_TARGET bool put_mixed(const unsigned char *block, uint32_t leads, unsigned block_bytes,
                             unsigned char *&out) const {
    uint16_t units[48];
    units_at(block, units);
    return put_characters<MOST_CHARACTERS>(block, leads, block_bytes, out,
                                           [&](unsigned place, unsigned) { return units[place]; });
  }

  // A block of at most SPARSE_CHARACTERS characters (none where the block ends before the lead
  // byte of its only one): their units made one by one, which costs less than making those of
  // every byte of the block.
  AVX2_TARGET bool put_sparse(const unsigned char *block, uint32_t leads, unsigned block_bytes,
                              unsigned char *&out) const {
    const auto count = static_cast<unsigned>(__builtin_popcount(leads));
    return put_characters<SPARSE_CHARACTERS>(
        block, leads, block_bytes, out, [&](unsigned place, unsigned j) -> unsigned {
          const unsigned char *const c = block + place;
          return j < count ? (c[0] & 0x0Fu) << 12 | (c[1] & 0x3Fu) << 6 | (c[2] & 0x3Fu) : STAND_IN;
        });
  }

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

  // Writes the codes of ten three-byte characters at `block` two bytes apart at `out`; false
  // (the output past `out` spoilt) when one's code is not two bytes long.
  AVX2_TARGET bool put_ten(const unsigned char *block, unsigned char *&out) const {
    uint16_t lanes[16];
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(lanes), ten_units(block));
    uint32_t every = ~0u;
    unsigned place = 0;
    for (const unsigned lane : {0, 1, 2, 3, 4, 8, 9, 10, 11, 12}) {
      const uint32_t step = steps[lanes[lane]];
      every &= step;
      __builtin_memcpy(out + place, &step, 4);
      place += 2;
    }
    if ((every & 2u << 16) == 0) return false;
    out += 20;
    return true;
  }

  // Writes the blocks at `from` while they are taken and `left` bytes hold what one reads; the
  // bytes consumed, and `refused` set where a block was refused.
  AVX2_TARGET size_t operator()(const unsigned char *from, size_t left, unsigned char *&out,
                                bool &refused) const {
    size_t done = 0;
    unsigned char *at = out;
    unsigned sparse_run = state.sparse_run; // a local copy the stores cannot alias
    while (left - done >= READABLE) {
      const unsigned char *const block = from + done;
      const __m256i bytes = load(block);
      if (any_stop(bytes, bytes, stops)) {
        refused = true;
        break;
      }
      if (_mm256_movemask_epi8(bytes) == 0) { // ASCII, two blocks a step while there are
        store(at, bytes);
        at += BYTES, done += BYTES;
        while (left - done >= READABLE + BYTES) {
          const __m256i first = load(from + done), second = load(from + done + BYTES);
          if (_mm256_movemask_epi8(_mm256_or_si256(first, second)) != 0 ||
              any_stop(first, second, stops))
            break;
          store(at, first), store(at + BYTES, second);
          at += 2 * BYTES, done += 2 * BYTES;
        }
        continue;
      }
      uint32_t leads;
      unsigned block_bytes;
      if (!lay_out(bytes, leads, block_bytes)) {
        refused = true;
        break;
      }
      if (leads == TEN_LEADS && block_bytes == 30) { // ten kana or kanji
        sparse_run = 0;
        if (!put_ten(block, at)) {
          refused = true;
          break;
        }
        done += 30;
        continue;
      }
      // In a long stretch of sparse blocks the portable kernel's runs of ASCII are faster: the
      // block after SPARSE_RUN of them (and no denser one) is refused.
      const bool sparse = static_cast<unsigned>(__builtin_popcount(leads)) <= SPARSE_CHARACTERS;
      sparse_run = sparse ? sparse_run + 1 : 0;
      const bool taken = sparse
                             ? sparse_run <= SPARSE_RUN && put_sparse(block, leads, block_bytes, at)
                             : put_mixed(block, leads, block_bytes, at);
      if (!taken) {
        refused = true;
        break;
      }
      done += block_bytes;
    }
    state.sparse_run = sparse_run;
    out = at;
    return done;
  }
};

} // namespace
} // namespace avx2
