// SPDX-License-Identifier: MIT
// A program's output through one large buffer. Converters write straight into the buffer: they
// ask for room, fill it, and commit what they wrote, so no call is made per character.
//
// The first failed write is remembered (output_error) and everything after it is discarded,
// so a converter never has to check; the driver reports the failure once.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t OUTPUT_BUFFER_SIZE = 256 * 1024;

// An output: its buffer and where what is buffered goes. A fresh one writes to standard output.
struct output_stream {
  size_t used = 0;
  int first_error = 0;
  int target = 1; // the descriptor written to, unless `writer` or `memory` is set
  bool (*writer)(const unsigned char *data, size_t size) = nullptr;
  std::string *memory = nullptr;
  unsigned char buffer[OUTPUT_BUFFER_SIZE];
};

// Checks that standard output is open before anything is converted: a closed one counts as a
// failed write at once, so that an input that yields no output still ends.
void output_start(output_stream &out);

// Returns where to write next, flushing first when less than half the buffer is free; `room`
// receives the free bytes from there (at least OUTPUT_BUFFER_SIZE / 2).
unsigned char *output_begin(output_stream &out, size_t &room);
// Marks everything up to `end` (a pointer into the room given by output_begin) as written.
void output_commit(output_stream &out, unsigned char *end);

void output_bytes(output_stream &out, const void *data, size_t size);
void output_text(output_stream &out, const char *text);

// Writes out what is buffered; returns false when any write so far has failed.
bool output_flush(output_stream &out);
// errno of the first failed write, or 0.
int output_error(const output_stream &out);

// Writes to `fd` from now on (STDOUT_FD); what is buffered must be flushed first. Clears any
// remembered error.
void output_to_descriptor(output_stream &out, int fd);

// Hands what is written to `writer` from now on (--in-place: it compares with the original and
// fills the new file), which returns false with errno set when it fails. Clears any remembered
// error.
void output_to_writer(output_stream &out, bool (*writer)(const unsigned char *data, size_t size));

// Tests: collect the output in `sink` instead of writing to a descriptor (nullptr restores
// standard output). Clears any remembered error.
void output_to_memory(output_stream &out, std::string *sink);
