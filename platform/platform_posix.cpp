// SPDX-License-Identifier: MIT
#include "platform.h"

#include "cp932_bytes.h"
#include "file_calls.h"
#include "trusted_folders.h"
#include "wildcard_match.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
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
  do got = system_calls.read(fd, buffer, size);
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

void write_to_standard_error(const unsigned char *data, size_t size) {
  // SIGPIPE is held back for this write alone, and one that it raised is taken off again: a
  // broken pipe on standard output still ends the process as it always did.
  sigset_t pipe_signal, saved;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  sigset_t pending;
  sigpending(&pending);
  const bool already_pending = sigismember(&pending, SIGPIPE) == 1;
  sigprocmask(SIG_BLOCK, &pipe_signal, &saved);
  if (!write_all(STDERR_FD, data, size) && errno == EPIPE && !already_pending) {
    const timespec no_wait = {0, 0};
    while (sigtimedwait(&pipe_signal, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  sigprocmask(SIG_SETMASK, &saved, nullptr);
}

namespace {
bool closed_at_start[3] = {};
} // namespace

void open_standard_descriptors() {
  for (int fd = STDIN_FD; fd <= STDERR_FD; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    closed_at_start[fd] = true;
    // The lowest free number is this one: the ones below are open by now.
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0 && null_fd != fd) close(null_fd);
  }
}

bool standard_descriptor_was_closed(int fd) {
  return fd >= STDIN_FD && fd <= STDERR_FD && closed_at_start[fd];
}

void advise_large_buffer(void *data, size_t size) {
#if defined(MADV_HUGEPAGE)
  constexpr uintptr_t LARGE_PAGE = 2 * 1024 * 1024;
  const auto at = reinterpret_cast<uintptr_t>(data);
  const uintptr_t start = (at + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
  const uintptr_t end = (at + size) & ~(LARGE_PAGE - 1);
  if (end > start) madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
  (void)data, (void)size;
#endif
}

void set_binary_mode(int) {}

const char *error_description(int error) {
  return std::strerror(error);
}

bool is_lead_byte(unsigned char byte) {
  return is_cp932_lead_byte(byte);
}

bool path_exists(const char *path) {
  struct stat status;
  return lstat(path, &status) == 0;
}

const char *inexact_argument(int) {
  return nullptr;
}

const char *inexact_name_reason() {
  return "";
}

bool same_regular_file(int first, int second) {
  struct stat one, two;
  return fstat(first, &one) == 0 && fstat(second, &two) == 0 && S_ISREG(one.st_mode) &&
         one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}

bool read_position_before_end(int fd) {
  struct stat status;
  const off_t position = lseek(fd, 0, SEEK_CUR);
  return position >= 0 && fstat(fd, &status) == 0 && position < status.st_size;
}

// The matches of one pattern, read and sorted by byte order at the start so that runs are
// reproducible whatever order the file system keeps. Plain allocations: running out of memory
// is a status, never an exception.
struct directory_search {
  char **names;
  size_t count;
  size_t next;
};

namespace {

void free_search(directory_search *search) {
  for (size_t k = 0; k < search->count; ++k) std::free(search->names[k]);
  std::free(search->names);
  std::free(search);
}

bool add_name(directory_search *search, size_t &capacity, const char *name) {
  if (search->count == capacity) {
    const size_t grown_capacity = capacity == 0 ? 16 : capacity * 2;
    void *grown = std::realloc(search->names, grown_capacity * sizeof(char *));
    if (grown == nullptr) return false;
    search->names = static_cast<char **>(grown);
    capacity = grown_capacity;
  }
  char *copy = strdup(name);
  if (copy == nullptr) return false;
  search->names[search->count++] = copy;
  return true;
}

int by_bytes(const void *first, const void *second) {
  return std::strcmp(*static_cast<char *const *>(first), *static_cast<char *const *>(second));
}

// Opens the directory part of a pattern: "." when it has none, "/" for a name at the root.
// Running out of memory (opendir allocates a buffer) is told apart from a directory that
// cannot be read.
DIR *open_directory_of(const char *pattern, size_t name_start, bool &out_of_memory) {
  char *directory = name_start == 0   ? strdup(".")
                    : name_start == 1 ? strdup("/")
                                      : strndup(pattern, name_start - 1);
  DIR *stream = directory == nullptr ? nullptr : opendir(directory);
  out_of_memory = directory == nullptr || (stream == nullptr && errno == ENOMEM);
  std::free(directory);
  // The matches are replaced (--in-place) only in the folder listed here.
  struct stat status;
  if (stream != nullptr && fstat(dirfd(stream), &status) == 0)
    same_folder_as_first_seen(pattern, name_start, status.st_dev, status.st_ino);
  return stream;
}

} // namespace

search_status find_first_entry(const char *pattern, size_t name_start, directory_search *&search,
                               const char *&name) {
  bool out_of_memory = false;
  DIR *stream = open_directory_of(pattern, name_start, out_of_memory);
  if (stream == nullptr)
    return out_of_memory ? search_status::out_of_memory : search_status::no_match;
  auto *found = static_cast<directory_search *>(std::calloc(1, sizeof(directory_search)));
  size_t capacity = 0;
  bool complete = found != nullptr;
  // Like Windows, * matches hidden names and "." and "..".
  while (complete) {
    const dirent *entry = readdir(stream);
    if (entry == nullptr) break;
    if (matches_wildcard(pattern + name_start, entry->d_name))
      complete = add_name(found, capacity, entry->d_name);
  }
  closedir(stream);
  if (!complete) {
    if (found != nullptr) free_search(found);
    return search_status::out_of_memory;
  }
  if (found->count == 0) {
    free_search(found);
    return search_status::no_match;
  }
  std::qsort(found->names, found->count, sizeof(char *), by_bytes);
  search = found;
  find_next_entry(search, name);
  return search_status::found;
}

bool entry_names_exactly(const directory_search *) {
  return true;
}

bool find_next_entry(directory_search *search, const char *&name) {
  if (search->next >= search->count) return false;
  name = search->names[search->next++];
  return true;
}

void end_search(directory_search *search) {
  free_search(search);
}
