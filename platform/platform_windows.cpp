// SPDX-License-Identifier: MIT
#include "platform.h"

#include "windows_errors.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>

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

void advise_large_buffer(void *, size_t) {}

void set_binary_mode(int fd) {
  _setmode(fd, _O_BINARY);
}

int error_number_of(unsigned long error) {
  switch (error) {
  case ERROR_ACCESS_DENIED:
  case ERROR_UNABLE_TO_REMOVE_REPLACED:
  case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
  case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
    return EACCES;
  case ERROR_SHARING_VIOLATION:
  case ERROR_LOCK_VIOLATION:
    return EBUSY;
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL:
    return ENOSPC;
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
    return ENOENT;
  case ERROR_FILENAME_EXCED_RANGE:
    return ENAMETOOLONG;
  case ERROR_WRITE_PROTECT:
    return EROFS;
  case ERROR_CRC:
  case ERROR_SECTOR_NOT_FOUND:
  case ERROR_READ_FAULT:
  case ERROR_WRITE_FAULT:
  case ERROR_GEN_FAILURE:
  case ERROR_IO_DEVICE:
    return EIO;
  default:
    return WINDOWS_ERROR_BASE + static_cast<int>(error & 0xFFFF);
  }
}

const char *error_description(int error) {
  if (error < WINDOWS_ERROR_BASE) return std::strerror(error);
  static char text[512];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(error - WINDOWS_ERROR_BASE), 0, text, sizeof text, nullptr);
  if (length == 0) {
    std::snprintf(text, sizeof text, "Windows error %d", error - WINDOWS_ERROR_BASE);
    return text;
  }
  size_t end = length;
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' ' ||
                     text[end - 1] == '.'))
    --end;
  text[end] = '\0';
  return text;
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

namespace {

// The ANSI form of `wide`, with '?' for a character the code page lacks (never a look-alike):
// true when it is exact.
bool exact_ansi(const wchar_t *wide, char *narrow, int size) {
  BOOL used_default = FALSE;
  const int length =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, narrow, size, "?", &used_default);
  return length > 0 && !used_default;
}

// The arguments as typed (UTF-16), read once: for each that did not reach argv exactly, the
// name to show for it, else null.
struct argument_exactness {
  bool known = false;
  bool all_exact = true;
  int count = 0;
  char **shown = nullptr;
};

const argument_exactness &exactness() {
  static argument_exactness found;
  if (found.known) return found;
  found.known = true;
  int count = 0;
  wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return found;
  found.shown = static_cast<char **>(std::calloc(static_cast<size_t>(count) + 1, sizeof(char *)));
  if (found.shown != nullptr) {
    found.count = count;
    static char narrow[32768 * 2];
    for (int k = 0; k < count; ++k) {
      if (exact_ansi(wide[k], narrow, sizeof narrow)) continue;
      found.shown[k] = _strdup(narrow);
      found.all_exact = false;
    }
  }
  LocalFree(wide);
  return found;
}

} // namespace

const char *inexact_argument(int index) {
  const argument_exactness &found = exactness();
  // Read apart from the runtime's own reading of the command line: where the two disagree on
  // the count, no argument is trusted unless all were exact.
  if (found.count != __argc) return found.all_exact ? nullptr : __argv[index];
  if (index < 0 || index >= found.count || found.shown[index] == nullptr) return nullptr;
  return found.shown[index];
}

const char *inexact_name_reason() {
  static char reason[64];
  std::snprintf(reason, sizeof reason, "cannot be named in code page %u", GetACP());
  return reason;
}

// Searched in UTF-16, so that a name the code page cannot hold is seen as such rather than
// given as its look-alike.
struct directory_search {
  HANDLE handle;
  WIN32_FIND_DATAW data;
  char name[MAX_PATH * 2];
  bool exact;
};

namespace {

void take_name(directory_search *search) {
  search->exact = exact_ansi(search->data.cFileName, search->name, sizeof search->name);
}

} // namespace

// FindFirstFileW matches the last component of the whole pattern itself.
search_status find_first_entry(const char *pattern, size_t, directory_search *&search,
                               const char *&name) {
  auto *found = static_cast<directory_search *>(std::malloc(sizeof(directory_search)));
  if (found == nullptr) return search_status::out_of_memory;
  wchar_t wide[32768];
  if (MultiByteToWideChar(CP_ACP, 0, pattern, -1, wide, 32768) == 0) {
    std::free(found);
    return search_status::no_match;
  }
  found->handle = FindFirstFileW(wide, &found->data);
  if (found->handle == INVALID_HANDLE_VALUE) {
    std::free(found);
    return search_status::no_match;
  }
  take_name(found);
  search = found;
  name = found->name;
  return search_status::found;
}

bool entry_names_exactly(const directory_search *search) {
  return search->exact;
}

bool find_next_entry(directory_search *search, const char *&name) {
  if (!FindNextFileW(search->handle, &search->data)) return false;
  take_name(search);
  name = search->name;
  return true;
}

void end_search(directory_search *search) {
  FindClose(search->handle);
  std::free(search);
}
