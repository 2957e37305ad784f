// SPDX-License-Identifier: MIT
// The loop both converters share, in two layers.
//
// convert_chunk takes the input a chunk at a time, as a caller hands it over, and converts it in
// runs whose output surely fits the room given. A character cut by a chunk's end is kept in the
// converter (a few bytes) and finished with the start of the next chunk, so a caller never has
// to keep a partial character; on the final chunk a tail that is still cut is handed to the
// converter once more to decide on.
//
// convert_blocks is the programs' use of it: an input read in large blocks, converted into the
// output buffer.
#pragma once

#include "audit.h"
#include "input.h"
#include "output.h"

#include <algorithm>
#include <cstring>

constexpr size_t INPUT_BLOCK_SIZE = 64 * 1024;

// What a program's conversions read through and write to: the block its inputs are read into,
// its output and its standard error. The programs hold one; tests make their own.
struct program_io {
  unsigned char input_block[INPUT_BLOCK_SIZE];
  output_stream out;
  error_log log;
};

// What a converter keeps of its input between chunks.
struct chunk_state {
  static constexpr size_t MOST = 8;
  unsigned char carried[MOST]; // the start of a character the next chunk finishes
  size_t carried_count = 0;
  size_t left_at_end = 0; // after the final chunk: the bytes of a cut character at the end
};

// One run of a converter; while auditing (`audit` not null), the audit learns where it began
// and stopped.
template <typename CONVERT_RUN>
const unsigned char *run_once(CONVERT_RUN &convert_run, audit_state *audit,
                              const unsigned char *from, const unsigned char *stop,
                              const unsigned char *end, unsigned char *&to, bool at_end) {
  if (audit != nullptr) audit_run_begin(*audit, from);
  const unsigned char *const next = convert_run(from, stop, end, to, at_end);
  if (audit != nullptr) audit_run_end(*audit, next);
  return next;
}

// The room a converter needs to go on: the slack, and a carried character finished with the
// bytes after it.
constexpr size_t JOINED_AFTER = 16; // bytes of a chunk joined to the carried ones
template <size_t MOST_CARRIED, size_t MOST_OUTPUT_PER_BYTE, size_t OUTPUT_SLACK>
constexpr size_t LEAST_ROOM = OUTPUT_SLACK + MOST_OUTPUT_PER_BYTE *(MOST_CARRIED + JOINED_AFTER);

// Converts the `size` bytes at `in` with `convert_run(from, stop, end, to, at_end)` into the
// `room` bytes at `to` (advanced; room at least LEAST_ROOM), after what `chunks` carries from the
// chunk before. A run converts the characters that begin in [from, stop), may read on up to
// `end`, writes at `to` (at most MOST_OUTPUT_PER_BYTE bytes per byte it consumes plus
// OUTPUT_SLACK), and returns where it stopped: before `stop` only at a tail that is not a whole
// character yet (at most MOST_CARRIED bytes). Returns the bytes of the chunk taken: converted,
// or carried for the next chunk; fewer than `size` only when the room is used up. When `final`
// and the whole chunk is taken, a tail still cut is handed over once more with `at_end` (its
// bytes then are all there are), and what it leaves is `chunks.left_at_end`.
template <size_t MOST_CARRIED, size_t MOST_OUTPUT_PER_BYTE, size_t OUTPUT_SLACK,
          typename CONVERT_RUN>
size_t convert_chunk(chunk_state &chunks, audit_state *audit, const unsigned char *in, size_t size,
                     bool final, unsigned char *&to, size_t room, CONVERT_RUN &&convert_run) {
  static_assert(MOST_CARRIED <= chunk_state::MOST);
  unsigned char *const out_end = to + room;
  size_t taken = 0;
  if (chunks.carried_count != 0 && size != 0) {
    // The carried character and the bytes after it, side by side.
    unsigned char joined[chunk_state::MOST + JOINED_AFTER];
    const size_t carried = chunks.carried_count;
    const size_t added = std::min(size, JOINED_AFTER);
    std::memcpy(joined, chunks.carried, carried);
    std::memcpy(joined + carried, in, added);
    const unsigned char *const next =
        run_once(convert_run, audit, joined, joined + carried, joined + carried + added, to, false);
    const size_t used = static_cast<size_t>(next - joined);
    if (used < carried) { // still cut: the chunk was too short to finish it
      std::memmove(chunks.carried, joined + used, carried + added - used);
      chunks.carried_count = carried + added - used;
      taken = added;
    } else {
      chunks.carried_count = 0;
      taken = used - carried;
    }
  }
  while (taken < size && chunks.carried_count == 0) {
    const size_t free = static_cast<size_t>(out_end - to);
    if (free <= OUTPUT_SLACK) break;
    const size_t count = std::min(size - taken, (free - OUTPUT_SLACK) / MOST_OUTPUT_PER_BYTE);
    if (count == 0) break;
    const unsigned char *const from = in + taken, *const stop = from + count;
    const unsigned char *const next =
        run_once(convert_run, audit, from, stop, in + size, to, false);
    taken = static_cast<size_t>(next - in);
    if (next < stop) { // a tail that is not a whole character yet
      chunks.carried_count = size - taken;
      std::memcpy(chunks.carried, next, chunks.carried_count);
      taken = size;
    }
  }
  if (final && taken == size && chunks.carried_count != 0) {
    const unsigned char *const tail = chunks.carried, *const tail_end = tail + chunks.carried_count;
    const unsigned char *const next =
        run_once(convert_run, audit, tail, tail_end, tail_end, to, true);
    chunks.left_at_end = static_cast<size_t>(tail_end - next);
    chunks.carried_count = 0;
  }
  return taken;
}

// The programs' loop: reads `in` in large blocks into `io` and hands each to
// `convert_chunk(block, size, final, to, room)`, a converter's chunk function (at least `LEAST`
// bytes of room; it returns the bytes it took), with the room of io's output buffer; after the end
// of the input one more call with `final`. Stops reading as soon as a write has failed (what
// follows would be lost, and an endless input would never end), or at a read error.
template <size_t LEAST, typename CONVERT_CHUNK>
void convert_blocks(input_stream &in, program_io &io, CONVERT_CHUNK &&convert_chunk) {
  // output_begin leaves at least half the buffer free.
  static_assert(OUTPUT_BUFFER_SIZE / 2 >= LEAST,
                "the output buffer is too small for this converter");
  unsigned char *const block = io.input_block;
  for (;;) {
    if (output_error(io.out) != 0) return;
    const size_t got = read_input(in, block, INPUT_BLOCK_SIZE);
    if (got == 0 && in.error != 0) return;
    size_t done = 0;
    do {
      size_t room;
      unsigned char *to = output_begin(io.out, room);
      done += convert_chunk(block + done, got - done, got == 0, to, room);
      output_commit(io.out, to);
    } while (done < got);
    if (got == 0) return;
  }
}
