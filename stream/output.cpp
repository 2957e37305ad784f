// SPDX-License-Identifier: MIT
#include "output.h"

#include "platform.h"

#include <cerrno>
#include <cstring>

static_assert(STDOUT_FD == 1, "a fresh output writes to standard output");

namespace {

bool write_out(output_stream &out, const unsigned char *data, size_t size) {
  return out.writer != nullptr ? out.writer(data, size) : write_all(out.target, data, size);
}

// What is buffered is dropped, and any remembered error forgotten.
void start_over(output_stream &out) {
  out.used = 0;
  out.first_error = 0;
}

} // namespace

bool output_flush(output_stream &out) {
  if (out.used > 0 && out.first_error == 0) {
    if (out.memory != nullptr)
      out.memory->append(reinterpret_cast<const char *>(out.buffer), out.used);
    else if (!write_out(out, out.buffer, out.used))
      out.first_error = errno != 0 ? errno : EIO;
  }
  out.used = 0;
  return out.first_error == 0;
}

void output_start(output_stream &out) {
  if (out.memory == nullptr && out.first_error == 0 && standard_descriptor_was_closed(STDOUT_FD))
    out.first_error = EBADF;
}

unsigned char *output_begin(output_stream &out, size_t &room) {
  if (OUTPUT_BUFFER_SIZE - out.used < OUTPUT_BUFFER_SIZE / 2) output_flush(out);
  room = OUTPUT_BUFFER_SIZE - out.used;
  return out.buffer + out.used;
}

void output_commit(output_stream &out, unsigned char *end) {
  out.used = static_cast<size_t>(end - out.buffer);
}

void output_bytes(output_stream &out, const void *data, size_t size) {
  const unsigned char *bytes = static_cast<const unsigned char *>(data);
  while (size > 0) {
    size_t room;
    unsigned char *to = output_begin(out, room);
    size_t count = size < room ? size : room;
    std::memcpy(to, bytes, count);
    output_commit(out, to + count);
    bytes += count;
    size -= count;
  }
}

void output_text(output_stream &out, const char *text) {
  output_bytes(out, text, std::strlen(text));
}

int output_error(const output_stream &out) {
  return out.first_error;
}

void output_to_descriptor(output_stream &out, int fd) {
  out.target = fd;
  out.writer = nullptr;
  start_over(out);
}

void output_to_writer(output_stream &out, bool (*writer)(const unsigned char *data, size_t size)) {
  out.writer = writer;
  start_over(out);
}

void output_to_memory(output_stream &out, std::string *sink) {
  out.memory = sink;
  start_over(out);
}
