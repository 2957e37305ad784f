// SPDX-License-Identifier: MIT
// Standard output through one large buffer. Converters write straight into the buffer: they
// ask for room, fill it, and commit what they wrote, so no call is made per character.
//
// The first failed write is remembered (output_error) and everything after it is discarded,
// so a converter never has to check; the driver reports the failure once.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t OUTPUT_BUFFER_SIZE = 256 * 1024;

// Checks that standard output is open before anything is converted: a closed one counts as a
// failed write at once, so that an input that yields no output still ends.
void output_start();

// Returns where to write next, flushing first when less than half the buffer is free; `room`
// receives the free bytes from there (at least OUTPUT_BUFFER_SIZE / 2).
unsigned char *output_begin(size_t &room);
// Marks everything up to `end` (a pointer into the room given by output_begin) as written.
void output_commit(unsigned char *end);

void output_bytes(const void *data, size_t size);
void output_text(const char *text);

// Writes out what is buffered; returns false when any write so far has failed.
bool output_flush();
// errno of the first failed write, or 0.
int output_error();

// Writes to `fd` from now on (STDOUT_FD); what is buffered must be flushed first. Clears any
// remembered error.
void output_to_descriptor(int fd);

// Hands what is written to `writer` from now on (--in-place: it compares with the original and
// fills the new file), which returns false with errno set when it fails. Clears any remembered
// error.
void output_to_writer(bool (*writer)(const unsigned char *data, size_t size));

// Tests: collect the output in `sink` instead of writing to a descriptor (nullptr restores
// standard output). Clears any remembered error.
void output_to_memory(std::string *sink);
