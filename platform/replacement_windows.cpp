// SPDX-License-Identifier: MIT
#include "replacement.h"

#include "platform.h"
#include "windows_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

// Windows has no cheaper sync for a batch: each file is committed on its own, so the batch
// holds one. The console control handler runs on a thread of its own and reads it.
replacement files[1];
const char *hidden_program = "";

BOOL WINAPI remove_new_files(DWORD) {
  for (const replacement &r : files)
    if (r.state == replacement_state::writing || r.state == replacement_state::written)
      DeleteFileA(r.hidden); // the new file is opened with FILE_SHARE_DELETE for this
  return FALSE;              // the default handler ends the process
}

void guard_console() {
  static bool installed = false;
  if (!installed) SetConsoleCtrlHandler(remove_new_files, TRUE);
  installed = true;
}

size_t directory_length(const char *name) {
  size_t length = 0;
  for (size_t k = 0; name[k] != '\0'; ++k)
    if (name[k] == '\\' || name[k] == '/' || (k == 1 && name[k] == ':')) length = k + 1;
  return length;
}

int64_t ticks_of(FILETIME time) {
  return static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 |
                              time.dwLowDateTime);
}

void take_facts(const BY_HANDLE_FILE_INFORMATION &information, DWORD type, file_facts &facts) {
  const DWORD attributes = information.dwFileAttributes;
  facts.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? file_kind::symbolic_link
               : (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ||
                       type != FILE_TYPE_DISK
                   ? file_kind::other
                   : file_kind::regular;
  facts.mode = attributes;
  facts.owner = facts.group = -1;
  facts.links = information.nNumberOfLinks;
  facts.size = static_cast<uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
  facts.modified = ticks_of(information.ftLastWriteTime);
  facts.changed = facts.modified;
  facts.device = information.dwVolumeSerialNumber;
  facts.inode = static_cast<uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
}

// True when the original is still what was read (its size and time; its name not taken by
// another file).
bool original_unchanged(const replacement &r) {
  const HANDLE handle =
      CreateFileA(r.name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool got = GetFileInformationByHandle(handle, &information) != 0;
  CloseHandle(handle);
  if (!got) return false;
  file_facts now;
  take_facts(information, FILE_TYPE_DISK, now);
  return now.device == r.facts.device && now.inode == r.facts.inode && now.size == r.facts.size &&
         now.modified == r.facts.modified;
}

// Replaces the original by the new file, which takes its security descriptor, attributes and
// streams. A read-only original can be replaced, and stays read-only.
bool replace_original(const replacement &r) {
  const DWORD attributes = static_cast<DWORD>(r.facts.mode);
  const bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only && !SetFileAttributesA(r.name, attributes & ~FILE_ATTRIBUTE_READONLY)) {
    errno = error_number_of(GetLastError());
    return false;
  }
  // By full paths: wine's ReplaceFile takes a name without a folder for a bad folder name.
  char replaced[MAX_PATH], replacing[MAX_PATH];
  const DWORD replaced_length = GetFullPathNameA(r.name, MAX_PATH, replaced, nullptr);
  const DWORD replacing_length = GetFullPathNameA(r.hidden, MAX_PATH, replacing, nullptr);
  if (replaced_length == 0 || replaced_length >= MAX_PATH || replacing_length == 0 ||
      replacing_length >= MAX_PATH ||
      !ReplaceFileA(replaced, replacing, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                    nullptr)) {
    errno = error_number_of(GetLastError());
    if (read_only) SetFileAttributesA(r.name, attributes);
    return false;
  }
  SetFileAttributesA(r.name, attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
  return true;
}

} // namespace

replacement &open_original(const char *name, const char *program, commit_report report,
                           int &error) {
  guard_console();
  commit_replacements(report);
  replacement &r = files[0];
  r = replacement{};
  r.name = name;
  r.base = name + directory_length(name);
  r.facts.kind = file_kind::regular;
  hidden_program = program;
  const HANDLE handle = CreateFileA(
      name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = error_number_of(GetLastError());
    return r;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) {
    error = error_number_of(GetLastError());
    CloseHandle(handle);
    return r;
  }
  take_facts(information, GetFileType(handle), r.facts);
  if (r.facts.kind != file_kind::regular) { // nothing of it is read
    CloseHandle(handle);
    error = 0;
    r.state = replacement_state::opened;
    return r;
  }
  r.original = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (r.original < 0) {
    error = errno;
    CloseHandle(handle);
    return r;
  }
  error = 0;
  r.state = replacement_state::opened;
  return r;
}

void close_original(replacement &r) {
  if (r.original >= 0) _close(r.original);
  r.original = -1;
}

long read_original_at(const replacement &r, unsigned char *buffer, size_t size, uint64_t offset) {
  // A read at an offset moves the position of a synchronous handle: the conversion's own
  // reading position is put back after it.
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(r.original));
  LARGE_INTEGER position = {}, none = {};
  if (!SetFilePointerEx(handle, none, &position, FILE_CURRENT)) {
    errno = error_number_of(GetLastError());
    return -1;
  }
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD count = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  const bool read = ReadFile(handle, buffer, count, &got, &at) != 0;
  const DWORD error = GetLastError();
  SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
  if (!read && error != ERROR_HANDLE_EOF) {
    errno = error_number_of(error);
    return -1;
  }
  return read ? static_cast<long>(got) : 0;
}

// The length of the longest start of `base` of at most `most` bytes that ends at a character.
int shortened_length(const char *base, size_t most) {
  size_t keep = 0;
  for (size_t k = 0; base[k] != '\0';) {
    const size_t next =
        k + (IsDBCSLeadByte(static_cast<BYTE>(base[k])) && base[k + 1] != '\0' ? 2 : 1);
    if (next > most) break;
    keep = k = next;
  }
  return static_cast<int>(keep);
}

bool create_new_file(replacement &r) {
  static unsigned counter = 0;
  const int folder = static_cast<int>(r.base - r.name);
  // ".NAME.PROGRAM-XXXXXX", NAME shortened where the whole would pass the longest name a folder
  // entry may have.
  // A path must also stay below MAX_PATH: NAME is shortened to fit there too.
  const size_t tail = 1 + 1 + std::strlen(hidden_program) + 1 + 6;
  if (folder + 1 + tail >= MAX_PATH) {
    errno = ENAMETOOLONG;
    return false;
  }
  const int keep = shortened_length(r.base, std::min<size_t>(255, MAX_PATH - 1 - folder) - tail);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned long suffix = (GetCurrentProcessId() * 2654435761UL + counter++) & 0xFFFFFF;
    std::snprintf(r.hidden, sizeof r.hidden, "%.*s.%.*s.%s-%06lx", folder, r.name, keep, r.base,
                  hidden_program, suffix);
    // Shared for deletion, so that the console control handler can remove it while it is open.
    const HANDLE handle = CreateFileA(r.hidden, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      errno = error_number_of(GetLastError());
      return false;
    }
    r.fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (r.fd < 0) {
      CloseHandle(handle);
      DeleteFileA(r.hidden);
      return false;
    }
    r.state = replacement_state::writing;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(handle, &information))
      r.new_inode =
          static_cast<uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
    return true;
  }
  errno = EEXIST;
  return false;
}

bool write_new_file(replacement &r, const unsigned char *data, size_t size) {
  return write_all(r.fd, data, size);
}

const char *copy_access(replacement &, int &) {
  return nullptr; // ReplaceFileA keeps them
}

bool finish_new_file(replacement &r) {
  bool done = _commit(r.fd) == 0;
  int error = errno;
  if (_close(r.fd) != 0 && done) done = false, error = errno;
  r.fd = -1;
  if (!done) {
    discard_replacement(r);
    errno = error;
    return false;
  }
  r.state = replacement_state::written;
  return true;
}

void discard_replacement(replacement &r) {
  if (r.fd >= 0) _close(r.fd);
  r.fd = -1;
  if (r.state == replacement_state::writing || r.state == replacement_state::written)
    DeleteFileA(r.hidden);
  close_original(r);
  r.state = replacement_state::free;
}

void commit_replacements(commit_report report, bool) {
  replacement &r = files[0];
  if (r.state != replacement_state::written) return;
  if (!original_unchanged(r)) {
    discard_replacement(r);
    report(r, commit_problem::changed, 0);
  } else if (!replace_original(r)) {
    const int error = errno;
    discard_replacement(r);
    report(r, commit_problem::not_replaced, error);
  }
  r.state = replacement_state::free;
}

bool file_size_limit_reached(const replacement &) {
  return false; // Windows has no such limit
}

bool rewind_file(int fd) {
  return _lseeki64(fd, 0, SEEK_SET) == 0;
}
