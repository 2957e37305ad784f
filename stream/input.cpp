// SPDX-License-Identifier: MIT
#include "input.h"

#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

input_stream file_input(int fd) {
  input_stream in;
  in.fd = fd;
  return in;
}

input_stream memory_input(const void *data, size_t size) {
  input_stream in;
  in.memory = static_cast<const unsigned char *>(data);
  in.memory_size = size;
  return in;
}

size_t read_input(input_stream &in, unsigned char *buffer, size_t size) {
  if (in.error != 0) return 0;
  if (in.fd >= 0) {
    long got = read_bytes(in.fd, buffer, size);
    if (got >= 0) {
      in.consumed += static_cast<uint64_t>(got);
      return static_cast<size_t>(got);
    }
    in.error = errno;
    return 0;
  }
  size_t count = std::min(size, in.memory_size - in.memory_position);
  if (in.largest_read != 0) count = std::min(count, in.largest_read);
  if (in.split_at > in.memory_position) count = std::min(count, in.split_at - in.memory_position);
  if (count > 0) std::memcpy(buffer, in.memory + in.memory_position, count);
  in.memory_position += count;
  in.consumed += count;
  return count;
}

void set_input_binary(input_stream &in) {
  if (in.fd >= 0) set_binary_mode(in.fd);
}
