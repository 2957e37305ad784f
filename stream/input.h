// SPDX-License-Identifier: MIT
// An input of a converter: an open file descriptor, or bytes in memory (for tests).
#pragma once

#include <cstddef>
#include <cstdint>

struct input_stream {
  const char *name = "-"; // as the audit (w) reports it: the file name, "-" for standard input
  int fd = -1;            // -1: read from `memory`
  const unsigned char *memory = nullptr;
  size_t memory_size = 0;
  size_t memory_position = 0;
  size_t largest_read = 0; // tests: when non-zero, no read returns more bytes than this
  size_t split_at = 0;     // tests: when non-zero, no read crosses this position
  int error = 0;           // errno of a failed read; the input then counts as ended
  uint64_t consumed = 0;   // the bytes read so far
};

input_stream file_input(int fd);
input_stream memory_input(const void *data, size_t size);

// Fills `buffer` with up to `size` bytes: the count, or 0 at the end of input or after a read
// error (recorded in `error`).
size_t read_input(input_stream &in, unsigned char *buffer, size_t size);

// Switches a descriptor input to binary mode; a memory input is always binary.
void set_input_binary(input_stream &in);
