// SPDX-License-Identifier: MIT
#include "replacement.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace {

// The new file's path, where the console control handler can read it.
char replacement_path[MAX_PATH + 32];
volatile LONG replacement_exists = 0;

BOOL WINAPI remove_and_end(DWORD) {
  if (replacement_exists) DeleteFileA(replacement_path);
  return FALSE; // the default handler ends the process
}

void guard_console() {
  static bool installed = false;
  if (!installed) SetConsoleCtrlHandler(remove_and_end, TRUE);
  installed = true;
}

int error_number_of(DWORD error) {
  switch (error) {
  case ERROR_ACCESS_DENIED:
  case ERROR_SHARING_VIOLATION:
    return EACCES;
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL:
    return ENOSPC;
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
    return ENOENT;
  default:
    return EIO;
  }
}

size_t directory_length(const char *name) {
  size_t length = 0;
  for (size_t k = 0; name[k] != '\0'; ++k)
    if (name[k] == '\\' || name[k] == '/' || (k == 1 && name[k] == ':')) length = k + 1;
  return length;
}

} // namespace

bool inspect_file(const char *name, file_facts &facts) {
  const DWORD attributes = GetFileAttributesA(name);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    errno = error_number_of(GetLastError());
    return false;
  }
  facts.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? file_kind::symbolic_link
               : (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0
                   ? file_kind::other
                   : file_kind::regular;
  facts.mode = attributes;
  facts.owner = facts.group = -1;
  facts.links = 1;
  const HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(handle, &information)) facts.links = information.nNumberOfLinks;
    CloseHandle(handle);
  }
  return true;
}

int create_replacement(const char *name) {
  guard_console();
  static unsigned counter = 0;
  const size_t length = directory_length(name);
  if (std::strlen(name) + 24 > sizeof replacement_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::memcpy(replacement_path, name, length);
    std::snprintf(replacement_path + length, sizeof replacement_path - length, ".%s.%lu-%u",
                  name + length, GetCurrentProcessId(), counter++);
    const int fd =
        _open(replacement_path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
              _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      SetFileAttributesA(replacement_path, FILE_ATTRIBUTE_HIDDEN);
      replacement_exists = 1;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

bool install_replacement(int fd, const char *name, const file_facts &facts,
                         void (*failed)(const char *name, int error)) {
  // Committed at once: Windows has no cheaper sync for a batch.
  bool done = _commit(fd) == 0;
  int error = errno;
  if (_close(fd) != 0 && done) done = false, error = errno;
  if (done &&
      !MoveFileExA(replacement_path, name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    done = false;
    error = error_number_of(GetLastError());
  }
  if (!done) DeleteFileA(replacement_path);
  replacement_exists = 0;
  if (!done) {
    failed(name, error);
    return false;
  }
  SetFileAttributesA(name,
                     facts.mode != 0 ? static_cast<DWORD>(facts.mode) : FILE_ATTRIBUTE_NORMAL);
  return true;
}

bool commit_replacements(void (*)(const char *, int)) {
  return true;
}

void discard_replacement(int fd) {
  if (fd >= 0) _close(fd);
  if (replacement_exists) DeleteFileA(replacement_path);
  replacement_exists = 0;
}

bool rewind_file(int fd) {
  return _lseeki64(fd, 0, SEEK_SET) == 0;
}
