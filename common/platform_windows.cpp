#include "platform.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

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

// The programs expand wildcards themselves; the C runtime must pass arguments as typed.
extern "C" {
int _dowildcard = 0;
}

bool is_lead_byte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != 0;
}

struct directory_search {
  HANDLE handle;
  WIN32_FIND_DATAA data;
};

bool find_first_entry(const char *pattern, directory_search *&search, const char *&name) {
  auto *found = new directory_search;
  found->handle = FindFirstFileA(pattern, &found->data);
  if (found->handle == INVALID_HANDLE_VALUE) {
    delete found;
    return false;
  }
  search = found;
  name = found->data.cFileName;
  return true;
}

bool find_next_entry(directory_search *search, const char *&name) {
  if (!FindNextFileA(search->handle, &search->data)) return false;
  name = search->data.cFileName;
  return true;
}

void end_search(directory_search *search) {
  FindClose(search->handle);
  delete search;
}
