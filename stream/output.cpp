// SPDX-License-Identifier: MIT
#include "output.h"

#include "platform.h"

#include <cerrno>
#include <cstring>

namespace {

unsigned char buffer[OUTPUT_BUFFER_SIZE];
size_t used = 0;
int first_error = 0;
int target = STDOUT_FD;
bool (*target_writer)(const unsigned char *, size_t) = nullptr;
std::string *memory_sink = nullptr;

bool write_out(const unsigned char *data, size_t size) {
  return target_writer != nullptr ? target_writer(data, size) : write_all(target, data, size);
}

} // namespace

bool output_flush() {
  if (used > 0 && first_error == 0) {
    if (memory_sink != nullptr)
      memory_sink->append(reinterpret_cast<const char *>(buffer), used);
    else if (!write_out(buffer, used))
      first_error = errno != 0 ? errno : EIO;
  }
  used = 0;
  return first_error == 0;
}

void output_start() {
  if (memory_sink == nullptr && first_error == 0 && standard_descriptor_was_closed(STDOUT_FD))
    first_error = EBADF;
}

unsigned char *output_begin(size_t &room) {
  if (OUTPUT_BUFFER_SIZE - used < OUTPUT_BUFFER_SIZE / 2) output_flush();
  room = OUTPUT_BUFFER_SIZE - used;
  return buffer + used;
}

void output_commit(unsigned char *end) {
  used = static_cast<size_t>(end - buffer);
}

void output_bytes(const void *data, size_t size) {
  const unsigned char *bytes = static_cast<const unsigned char *>(data);
  while (size > 0) {
    size_t room;
    unsigned char *to = output_begin(room);
    size_t count = size < room ? size : room;
    std::memcpy(to, bytes, count);
    output_commit(to + count);
    bytes += count;
    size -= count;
  }
}

void output_text(const char *text) {
  output_bytes(text, std::strlen(text));
}

int output_error() {
  return first_error;
}

void output_to_descriptor(int fd) {
  target = fd;
  target_writer = nullptr;
  used = 0;
  first_error = 0;
}

void output_to_writer(bool (*writer)(const unsigned char *data, size_t size)) {
  target_writer = writer;
  used = 0;
  first_error = 0;
}

void output_to_memory(std::string *sink) {
  memory_sink = sink;
  used = 0;
  first_error = 0;
}
