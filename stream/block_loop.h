// SPDX-License-Identifier: MIT
// The loop both converters share. Input is read in large blocks; each block is handed to the
// converter in runs whose output surely fits the free room of the output buffer; the unfinished
// tail of a block (a character cut by the block's end) goes in front of the next block.
#pragma once

#include "audit.h"
#include "input.h"
#include "output.h"

#include <algorithm>
#include <cstring>

constexpr size_t INPUT_BLOCK_SIZE = 64 * 1024;

// One run of convert_blocks; while auditing (`audit` not null), the audit learns where it
// began and stopped.
template <typename CONVERT_RUN>
const unsigned char *run_once(CONVERT_RUN &convert_run, audit_state *audit,
                              const unsigned char *from, const unsigned char *stop,
                              const unsigned char *end, unsigned char *&to, bool at_end) {
  if (audit != nullptr) audit_run_begin(*audit, from);
  const unsigned char *const next = convert_run(from, stop, end, to, at_end);
  if (audit != nullptr) audit_run_end(*audit, next);
  return next;
}

// Calls `convert_run(from, stop, end, to, at_end)` over the whole input, telling `audit` (when
// not null) where each run begins and ends. A run converts the
// characters that begin in [from, stop), may read on up to `end`, writes at `to` (advancing
// it, at most MOST_OUTPUT_PER_BYTE bytes per byte it consumes plus OUTPUT_SLACK), and returns
// where it stopped: before `stop` only at a tail that is not a whole character yet (at most
// MOST_CARRIED bytes). A tail left when the input ends is handed over once more with `at_end`,
// for a converter that decides something on it (the bytes then are all there are). Returns the
// length of the tail left after that. Stops reading as soon as a write has failed: what follows
// would be lost, and an endless input would never end.
template <size_t MOST_CARRIED, size_t MOST_OUTPUT_PER_BYTE, size_t OUTPUT_SLACK,
          typename CONVERT_RUN>
size_t convert_blocks(input_stream &in, audit_state *audit, CONVERT_RUN &&convert_run) {
  // output_begin leaves at least half the buffer free: that must hold the slack and a run
  // long enough for a whole character and a carried tail, or the loop would stall (or the
  // room computed below would wrap around).
  static_assert(OUTPUT_BUFFER_SIZE / 2 >= OUTPUT_SLACK + MOST_OUTPUT_PER_BYTE * (MOST_CARRIED + 1),
                "the output buffer is too small for this converter");
  static unsigned char buffer[MOST_CARRIED + INPUT_BLOCK_SIZE];
  unsigned char *const block = buffer + MOST_CARRIED;
  size_t carried = 0;
  if (audit != nullptr) audit_input_begin(*audit, in.name);
  for (;;) {
    if (output_error() != 0) return carried;
    const size_t got = read_input(in, block, INPUT_BLOCK_SIZE);
    if (got == 0) {
      if (carried == 0 || in.error != 0) return carried;
      size_t room;
      unsigned char *to = output_begin(room);
      const unsigned char *const tail = block - carried;
      const unsigned char *const next = run_once(convert_run, audit, tail, block, block, to, true);
      output_commit(to);
      return static_cast<size_t>(block - next);
    }
    const unsigned char *from = block - carried;
    const unsigned char *const end = block + got;
    while (from < end) {
      size_t room;
      unsigned char *to = output_begin(room);
      const size_t count =
          std::min(static_cast<size_t>(end - from), (room - OUTPUT_SLACK) / MOST_OUTPUT_PER_BYTE);
      const unsigned char *const stop = from + count;
      const unsigned char *const next = run_once(convert_run, audit, from, stop, end, to, false);
      output_commit(to);
      from = next;
      if (next < stop) break;
    }
    carried = static_cast<size_t>(end - from);
    std::memmove(block - carried, from, carried);
  }
}
