// The loop both converters share. Input is read in large blocks; each block is handed to the
// converter in runs whose output surely fits the free room of the output buffer; the unfinished
// tail of a block (a character cut by the block's end) goes in front of the next block.
#pragma once

#include "input.h"
#include "output.h"

#include <algorithm>
#include <cstring>

constexpr size_t INPUT_BLOCK_SIZE = 64 * 1024;

// Calls `run(from, stop, end, to)` over the whole input. A run converts the characters that
// begin in [from, stop), may read on up to `end`, writes at `to` (advancing it, at most
// `most_output_per_byte` bytes per byte it consumes plus `slack`), and returns where it
// stopped: before `stop` only at a tail that is not a whole character yet (at most
// MOST_CARRIED bytes). Returns the length of the tail left at the end of the input. Stops
// reading as soon as a write has failed: what follows would be lost, and an endless input
// would never end.
template <size_t MOST_CARRIED, typename RUN>
size_t convert_blocks(input_stream &in, size_t most_output_per_byte, size_t slack, RUN &&run) {
  static unsigned char buffer[MOST_CARRIED + INPUT_BLOCK_SIZE];
  unsigned char *const block = buffer + MOST_CARRIED;
  size_t carried = 0;
  for (;;) {
    if (output_error() != 0) return carried;
    const size_t got = read_input(in, block, INPUT_BLOCK_SIZE);
    if (got == 0) return carried;
    const unsigned char *from = block - carried;
    const unsigned char *const end = block + got;
    while (from < end) {
      size_t room;
      unsigned char *to = output_begin(room);
      const size_t count =
          std::min(static_cast<size_t>(end - from), (room - slack) / most_output_per_byte);
      const unsigned char *const stop = from + count;
      const unsigned char *const next = run(from, stop, end, to);
      output_commit(to);
      from = next;
      if (next < stop) break;
    }
    carried = static_cast<size_t>(end - from);
    std::memmove(block - carried, from, carried);
  }
}
