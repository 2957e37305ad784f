// SPDX-License-Identifier: MIT
// Table lookups queued for one flat scalar pass, for SIMD tiers whose gathers are slow or
// missing: a tier's blocks compute each character they can by arithmetic, and queue the index
// of each other one in the table with its place in the output; after a chunk of blocks, one
// pass with no branch on the data looks them all up and stores them, so that a lookup waits for
// nothing and the switch between kinds of characters costs no misprediction. A lookup that
// finds no good value refuses its block and the blocks after it. No processor-specific code.
#pragma once

#include "kernel_interface.h"
#include "tier_frame.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

// A block of 64 bytes writes at most 128 bytes and queues at most 64 lookups: a chunk's output
// stays below 64 KiB, so places fit 16 bits.
constexpr size_t QUEUED_BLOCK_OUTPUT = 128, QUEUED_BLOCK_LOOKUPS = 64;
static_assert(QUEUED_CHUNK_BLOCKS * QUEUED_BLOCK_OUTPUT <= 0x10000, "places are 16 bits");

struct lookup_queue {
  // Each lookup's table index, and where its value goes from the chunk's output; whole vectors
  // are stored past the last one.
  uint16_t index[QUEUED_CHUNK_BLOCKS * QUEUED_BLOCK_LOOKUPS + 32];
  uint16_t place[QUEUED_CHUNK_BLOCKS * QUEUED_BLOCK_LOOKUPS + 32];
  // Of each block of the chunk: where its input and output begin, and its first lookup.
  uint32_t block_input[QUEUED_CHUNK_BLOCKS], block_output[QUEUED_CHUNK_BLOCKS],
      block_first[QUEUED_CHUNK_BLOCKS];
};

// Records where block `block` of a chunk begins: its input, its output and its first lookup.
// A chunk holds at most QUEUED_CHUNK_BLOCKS blocks; a kernel that let one more in would write
// past the queue, and stops here instead (one compare a block).
inline void record_block(lookup_queue &queue, size_t block, size_t input, size_t output,
                         size_t first_lookup) {
  if (block >= QUEUED_CHUNK_BLOCKS) __builtin_trap();
  queue.block_input[block] = static_cast<uint32_t>(input);
  queue.block_output[block] = static_cast<uint32_t>(output);
  queue.block_first[block] = static_cast<uint32_t>(first_lookup);
}

// What the queued lookups read: the table, the byte order its values are stored in (`little`)
// and the least good value (below it, or 0xFFFF, the block is refused).
struct queued_values {
  const uint16_t *table;
  bool little;
  unsigned least;
};

// The block of the queued lookup `lookup`.
inline size_t block_of_lookup(const lookup_queue &queue, size_t lookup, size_t blocks) {
  size_t block = blocks - 1;
  while (queue.block_first[block] > lookup) --block;
  return block;
}

// Does the queued lookups into the chunk's output. Returns the block of the first lookup whose
// value is not good, or `blocks` when every value was.
inline size_t resolve_lookups(const lookup_queue &queue, const queued_values &values,
                              unsigned char *chunk_out, size_t count, size_t blocks) {
  const uint16_t *const table = values.table;
  const uint32_t least = values.least;
  uint32_t seen = 0;
  // Unrolled: the loop's own count and branch would be a fifth of its instructions.
#pragma GCC unroll 4
  for (size_t k = 0; k < count; ++k) {
    const uint32_t value = table[queue.index[k]];
    // Bit 16 comes from 0xFFFF (plus one) and from a value below `least` (the difference wraps).
    seen |= (value + 1) | (least != 0 ? value - least : 0);
    const auto stored = static_cast<uint16_t>(values.little ? value : value << 8 | value >> 8);
    __builtin_memcpy(chunk_out + queue.place[k], &stored, 2);
  }
  if ((seen & 0x10000) == 0) return blocks;
  size_t first = 0;
  while (table[queue.index[first]] != 0xFFFF && table[queue.index[first]] >= least) ++first;
  return block_of_lookup(queue, first, blocks);
}

// Queued units (index) to CP932 by the portable tier's steps (portable/encode_steps.h), each
// code at its place, its length known before: a unit that needs the rules, or whose code has
// another length than its kind, refuses its block.
struct queued_steps {
  const uint32_t *steps;
  uint32_t refusing; // the step bits that refuse a block
};

// Writes the queued codes into the chunk's output, in order (each writes 2 bytes past its code,
// which the next one overwrites: no output after a queued code may be written before the
// chunk's lookups). Returns the block of the first unit that is not good, or `blocks` when
// every one was.
inline size_t resolve_lookups(const lookup_queue &queue, const queued_steps &values,
                              unsigned char *chunk_out, size_t count, size_t blocks) {
  const uint32_t *const steps = values.steps;
  uint32_t seen = 0;
#pragma GCC unroll 4 // as the pass above
  for (size_t k = 0; k < count; ++k) {
    const uint32_t step = steps[queue.index[k]];
    seen |= step;
    __builtin_memcpy(chunk_out + queue.place[k], &step, 4);
  }
  if ((seen & values.refusing) == 0) return blocks;
  size_t first = 0;
  while ((steps[queue.index[first]] & values.refusing) == 0) ++first;
  return block_of_lookup(queue, first, blocks);
}

// The tier's part of a chunk: converts blocks at `from` (each needs `readable` bytes) while
// they are taken and fewer than `most` are done, recording where each begins in `queue`; the
// bytes consumed, `blocks` and `queued` advanced, `refused` set when a block was refused.
//   size_t convert_chunk(BLOCK convert_block, const unsigned char *from, size_t size,
//                        size_t readable, unsigned char *&out, unsigned char *chunk_out,
//                        size_t most, size_t &blocks, size_t &queued, bool &refused);
// `chunk` below is that function with its block bound.

// The output of a chunk as it is: where the next chunk writes.
struct chunk_in_place {
  unsigned char *operator()(unsigned char *, unsigned char *chunk_end) const { return chunk_end; }
};

// As a tier's SIMD blocks, a chunk of blocks at a time (by `chunk`, which carries the
// tier's target), each chunk's lookups done after it; then `finish(chunk_out, chunk_end)` takes
// the chunk's good output and gives where the next chunk writes (a tier that writes UTF-8
// through UTF-16 converts it there).
template <typename CHUNK, typename VALUES, typename FINISH = chunk_in_place>
inline size_t convert_queued_chunks(const unsigned char *from, size_t size, size_t readable,
                                    const CHUNK &chunk, const VALUES &values, kernel_state &state,
                                    unsigned char *&to, bool &refused, const FINISH &finish = {}) {
  lookup_queue &queue = *state.queue;
  size_t done = 0;
  unsigned char *out = to;
  refused = false;
  while (!refused && size - done >= readable) {
    unsigned char *const chunk_out = out;
    size_t blocks = 0, queued = 0;
    const size_t used = chunk(from + done, size - done, readable, out, chunk_out,
                              state.chunk_blocks, blocks, queued, refused);
    const size_t bad = resolve_lookups(queue, values, chunk_out, queued, blocks);
    if (bad != blocks) {
      done += queue.block_input[bad];
      out = finish(chunk_out, chunk_out + queue.block_output[bad]);
      state.chunk_blocks = 1;
      refused = true;
      break;
    }
    done += used;
    out = finish(chunk_out, out);
    state.chunk_blocks = std::min(2 * state.chunk_blocks, QUEUED_CHUNK_BLOCKS);
    if (used == 0) break;
  }
  to = out;
  return done;
}

// A queued tier's kernel: the frame around convert_queued_chunks, with the tier's `chunk` and
// the portable tier's kernel (`portable`) for the same direction and form.
template <typename CHUNK, typename VALUES, typename SETUP, typename PORTABLE>
inline size_t run_queued_tier(const unsigned char *from, size_t size, size_t readable,
                              unsigned char *&to, kernel_state &state, const SETUP &setup,
                              size_t block_readable, const CHUNK &chunk, const VALUES &values,
                              PORTABLE portable) {
  auto simd = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
    return convert_queued_chunks(at, left, block_readable, chunk, values, state, out, refused);
  };
  return tier_frame::run_tier(from, size, readable, to, state, setup, block_readable, simd,
                              portable);
}
