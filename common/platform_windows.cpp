#include "platform.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <io.h>

int open_for_reading(const char *name) {
  return _open(name, _O_RDONLY | _O_BINARY);
}

void close_file(int fd) {
  _close(fd);
}

long read_bytes(int fd, unsigned char *buffer, size_t size) {
  unsigned count = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
  return _read(fd, buffer, count);
}

bool write_all(int fd, const unsigned char *data, size_t size) {
  while (size > 0) {
    unsigned count = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    int done = _write(fd, data, count);
    if (done < 0) return false;
    if (done == 0) {
      errno = ENOSPC;
      return false;
    }
    data += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

void set_binary_mode(int fd) {
  _setmode(fd, _O_BINARY);
}

const char *error_description(int error) {
  return std::strerror(error);
}
