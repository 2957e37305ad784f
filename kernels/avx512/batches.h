// SPDX-License-Identifier: MIT
// The frame both AVX-512 kernels run in: blocks are classified and converted by arithmetic,
// their table lookups queued and done in batches; a block the tier refuses goes to the portable
// kernel for a stretch.
#pragma once

#include "avx512.h"
#include "cp932_kana.h"

#include <algorithm>
#include <immintrin.h>

#define AVX512_TARGET                                                                              \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi,bmi2,popcnt")))

namespace avx512 {

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

// 0, 1, 2, ... 31 in the 16-bit lanes.
AVX512_TARGET inline __m512i lane_numbers() {
  return _mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14,
                          13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
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

// The table lookups of a batch of blocks, queued while the blocks are classified and done
// afterwards in one flat pass with no branch on the data: a lookup then waits for nothing, and
// the switch between kinds of characters costs no misprediction. A lookup that fails throws
// away the work on the blocks after its own, so batches double while lookups succeed and halve
// after one fails (the size is kept for the input, in its kernel_state): where lookups fail
// often, little is thrown away.
constexpr size_t MOST_BATCH_BLOCKS = 256; // 16 KiB of input, so places fit 16 bits
struct lookup_queue {
  uint16_t index[MOST_BATCH_BLOCKS * KERNEL_BLOCK + 32]; // table indexes; whole vectors stored
  uint16_t place[MOST_BATCH_BLOCKS * KERNEL_BLOCK + 32]; // where each value goes in the output
  uint16_t one_byte_place[MOST_BATCH_BLOCKS * KERNEL_BLOCK + 32]; // the encoder's one-byte codes
  size_t count;
  // Of each block of the batch: where its input and output begin, and its first lookup.
  uint32_t block_input[MOST_BATCH_BLOCKS], block_output[MOST_BATCH_BLOCKS],
      block_first[MOST_BATCH_BLOCKS];
};
inline lookup_queue queue; // scratch space only; the programs have one thread

// Queues the lookups of the lanes in `where`: table index `index`, and the output place
// `first_place` + the lane's `offset`.
AVX512_TARGET inline void queue_lookups(__mmask32 where, __m512i index, __m512i offset,
                                        unsigned first_place, size_t &count) {
  const __m512i place =
      _mm512_add_epi16(offset, _mm512_set1_epi16(static_cast<short>(first_place)));
  _mm512_storeu_si512(queue.index + count, _mm512_maskz_compress_epi16(where, index));
  _mm512_storeu_si512(queue.place + count, _mm512_maskz_compress_epi16(where, place));
  count += static_cast<size_t>(__builtin_popcount(where));
}

// Moves `length` bytes at `from` down to `to` (below it), 64 at a time: segments between
// one-byte codes are short, and a call to memmove would cost more than the move.
AVX512_TARGET inline void move_down(unsigned char *to, const unsigned char *from, size_t length) {
  for (size_t done = 0; done < length; done += 64) {
    const size_t left = length - done;
    const uint64_t mask = left >= 64 ? ~0ULL : (1ULL << left) - 1;
    _mm512_mask_storeu_epi8(to + done, mask, _mm512_maskz_loadu_epi8(mask, from + done));
  }
}

// Does the queued lookups into the batch's output at `out` (`size` bytes), each value stored
// little-endian or big-endian (LITTLE). Returns the block of the first lookup whose value is
// none (0xFFFF), or `blocks` when there is none; `size` becomes the size of the output before
// that block. With ONE_BYTE_CODES (the encoder's codes, stored lead byte first), a value below
// 0x100 keeps only its second byte and the output after it closes up.
template <bool LITTLE, bool ONE_BYTE_CODES>
AVX512_TARGET inline size_t resolve_lookups(const uint16_t *table, unsigned char *out,
                                            size_t blocks, size_t &size) {
  unsigned none = 0;
  size_t one_byte = 0; // the places of the one-byte codes, in order, in queue.one_byte_place
  for (size_t k = 0; k < queue.count; ++k) {
    const uint16_t value = table[queue.index[k]];
    none |= static_cast<unsigned>(value == 0xFFFF);
    if constexpr (ONE_BYTE_CODES) {
      queue.one_byte_place[one_byte] = queue.place[k];
      one_byte += value < 0x100;
    }
    const auto stored = LITTLE ? value : static_cast<uint16_t>(value << 8 | value >> 8);
    __builtin_memcpy(out + queue.place[k], &stored, 2);
  }
  size_t block = blocks;
  if (none != 0) {
    size_t first = 0;
    while (table[queue.index[first]] != 0xFFFF) ++first;
    block = blocks - 1;
    while (queue.block_first[block] > first) --block;
    size = queue.block_output[block];
  }
  if (ONE_BYTE_CODES && one_byte != 0) {
    size_t removed = 0, moved_from = queue.one_byte_place[0];
    for (size_t k = 0; k < one_byte && queue.one_byte_place[k] < size; ++k) {
      const size_t zero = queue.one_byte_place[k]; // the code's first byte, 0x00
      move_down(out + moved_from - removed, out + moved_from, zero - moved_from);
      ++removed;
      moved_from = zero + 1;
    }
    if (moved_from < size)
      move_down(out + moved_from - removed, out + moved_from, size - moved_from);
    size -= removed;
  }
  return block;
}

// Converts the blocks at `from` with `convert_block` (a block needs `readable` bytes) in
// batches, doing each batch's queued lookups after it (LITTLE, ONE_BYTE_CODES as
// resolve_lookups).
// A block returns the bytes it consumed, 0 when the tier refuses it; a lookup whose value is
// none refuses its block. Returns the bytes consumed; `refused` tells whether a block was refused
// (else fewer than `readable` bytes were left).
template <bool LITTLE, bool ONE_BYTE_CODES, typename BLOCK>
AVX512_TARGET inline size_t convert_batches(const unsigned char *from, size_t size, size_t readable,
                                            const BLOCK &convert_block, const uint16_t *table,
                                            unsigned char *&to, bool &refused, size_t &batch_size) {
  // Local copies: the vector stores may alias anything, and these stay in registers.
  size_t done = 0, batch_blocks = batch_size == 0 ? 1 : batch_size;
  bool stopped = false;
  unsigned char *out = to;
  while (!stopped && size - done >= readable) {
    const size_t batch_done = done;
    unsigned char *const batch_out = out;
    size_t blocks = 0, queued = 0;
    while (blocks < batch_blocks && size - done >= readable) {
      queue.block_input[blocks] = static_cast<uint32_t>(done - batch_done);
      queue.block_output[blocks] = static_cast<uint32_t>(out - batch_out);
      queue.block_first[blocks] = static_cast<uint32_t>(queued);
      const size_t used = convert_block(from + done, out, batch_out, queued);
      if (used == 0) {
        stopped = true;
        break;
      }
      done += used;
      ++blocks;
    }
    queue.count = queued;
    size_t written = static_cast<size_t>(out - batch_out);
    const size_t bad = resolve_lookups<LITTLE, ONE_BYTE_CODES>(table, batch_out, blocks, written);
    out = batch_out + written;
    if (bad != blocks) {
      done = batch_done + queue.block_input[bad];
      stopped = true;
      batch_blocks = std::max(batch_blocks / 4, size_t{1});
    } else {
      batch_blocks = std::min(2 * batch_blocks, MOST_BATCH_BLOCKS);
    }
  }
  batch_size = batch_blocks;
  refused = stopped;
  to = out;
  return done;
}

// Converts the blocks at `from` with `convert_block`, which needs no lookups done after it (as
// convert_batches otherwise).
template <typename BLOCK>
AVX512_TARGET inline size_t convert_unbatched(const unsigned char *from, size_t size,
                                              size_t readable, const BLOCK &convert_block,
                                              unsigned char *&to, bool &refused) {
  size_t done = 0;
  unsigned char *out = to; // a local copy the vector stores cannot alias
  refused = false;
  while (size - done >= readable) {
    const size_t used = convert_block(from + done, out);
    if (used == 0) {
      refused = true;
      break;
    }
    done += used;
  }
  to = out;
  return done;
}

// The longest portable stretch after a refusal, and how much the tier must convert between two
// refusals for the stretch to start again from one block.
constexpr size_t MOST_STRETCH = 64 * KERNEL_BLOCK;
constexpr size_t GOOD_RUN = 8 * KERNEL_BLOCK;

// A tier kernel: the SIMD blocks (`simd`, as convert_batches) while they are taken, the
// portable kernel (`portable`) for the stretch after a refusal and for a tail shorter than a
// block. Returns at a character for the rules, or where the range ends. It is compiled for any
// x86-64, like the portable kernel it inlines: text that keeps the tier on its portable stretch
// (markup with m, say) then pays nothing for AVX-512 registers on each call.
template <typename SIMD, typename PORTABLE, typename SETUP>
inline size_t run_tier(const unsigned char *from, size_t size, size_t readable, unsigned char *&to,
                       kernel_state &state, const SETUP &setup, size_t block_readable,
                       const SIMD &simd, PORTABLE portable) {
  size_t done = 0;
  while (done < size) {
    if (state.portable_left > 0 || size - done < block_readable ||
        readable - done < block_readable) {
      const size_t span =
          state.portable_left > 0 ? std::min(state.portable_left, size - done) : size - done;
      const size_t used = portable(from + done, span, readable - done, to, state, setup);
      state.portable_left -= std::min(used, state.portable_left);
      done += used;
      if (used < span) break; // a character for the rules, or the rest of a character
      continue;
    }
    bool refused = false;
    const size_t used = simd(from + done, std::min(size, readable) - done, to, refused);
    done += used;
    state.gained += used;
    if (refused) {
      state.stretch = state.gained >= GOOD_RUN
                          ? KERNEL_BLOCK
                          : std::min(std::max(2 * state.stretch, KERNEL_BLOCK), MOST_STRETCH);
      state.portable_left = state.stretch;
      state.gained = 0;
    }
  }
  return done;
}

} // namespace avx512
