// SPDX-License-Identifier: MIT
#include "platform.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
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

void write_to_standard_error(const unsigned char *data, size_t size) {
  write_all(STDERR_FD, data, size); // nowhere to report a failure
}

namespace {
bool closed_at_start[3] = {};
} // namespace

void open_standard_descriptors() {
  for (int fd = STDIN_FD; fd <= STDERR_FD; ++fd) {
    const intptr_t handle = _get_osfhandle(fd);
    if (handle != -1 && handle != -2) continue;
    closed_at_start[fd] = true;
    const int null_fd = _open("NUL", _O_RDWR | _O_BINARY);
    if (null_fd >= 0 && null_fd != fd) {
      _dup2(null_fd, fd);
      _close(null_fd);
    }
  }
}

bool standard_descriptor_was_closed(int fd) {
  return fd >= STDIN_FD && fd <= STDERR_FD && closed_at_start[fd];
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

bool path_exists(const char *) {
  return false;
}

namespace {

bool file_identity(int fd, BY_HANDLE_FILE_INFORMATION &info) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(handle, &info) != 0;
}

} // namespace

bool same_regular_file(int first, int second) {
  BY_HANDLE_FILE_INFORMATION one, two;
  return file_identity(first, one) && file_identity(second, two) &&
         (one.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
         one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
}

bool read_position_before_end(int fd) {
  const long long position = _lseeki64(fd, 0, SEEK_CUR);
  return position >= 0 && position < _filelengthi64(fd);
}

struct directory_search {
  HANDLE handle;
  WIN32_FIND_DATAA data;
};

// FindFirstFileA matches the last component of the whole pattern itself.
search_status find_first_entry(const char *pattern, size_t, directory_search *&search,
                               const char *&name) {
  auto *found = static_cast<directory_search *>(std::malloc(sizeof(directory_search)));
  if (found == nullptr) return search_status::out_of_memory;
  found->handle = FindFirstFileA(pattern, &found->data);
  if (found->handle == INVALID_HANDLE_VALUE) {
    std::free(found);
    return search_status::no_match;
  }
  search = found;
  name = found->data.cFileName;
  return search_status::found;
}

bool find_next_entry(directory_search *search, const char *&name) {
  if (!FindNextFileA(search->handle, &search->data)) return false;
  name = search->data.cFileName;
  return true;
}

void end_search(directory_search *search) {
  FindClose(search->handle);
  std::free(search);
}
