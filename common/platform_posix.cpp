#include "platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int open_for_reading(const char *name) {
  int fd;
  do fd = open(name, O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

void close_file(int fd) {
  close(fd);
}

long read_bytes(int fd, unsigned char *buffer, size_t size) {
  ssize_t got;
  do got = read(fd, buffer, size);
  while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

bool write_all(int fd, const unsigned char *data, size_t size) {
  while (size > 0) {
    ssize_t done = write(fd, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

void set_binary_mode(int) {}

const char *error_description(int error) {
  return std::strerror(error);
}
