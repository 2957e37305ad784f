// SPDX-License-Identifier: MIT
#include "replacement.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The new files not yet renamed: the current one, being written, and those written and waiting
// for their data to be made durable all at once. A signal handler reads their paths.
constexpr size_t MOST_PENDING = 128;
struct pending_file {
  char path[PATH_MAX + 32];
  int fd;
  const char *name; // the file it replaces
};
pending_file pending[MOST_PENDING + 1];  // the last slot for the current one
volatile sig_atomic_t pending_count = 0; // written and waiting
volatile sig_atomic_t current_exists = 0;

void remove_and_end(int signal_number) {
  for (sig_atomic_t k = 0; k < pending_count; ++k) unlink(pending[k].path);
  if (current_exists) unlink(pending[pending_count].path);
  ::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void guard_signals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action = {};
  action.sa_handler = remove_and_end;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous;
    // A signal the caller ignores stays ignored (nohup).
    if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
      continue;
    sigaction(signal_number, &action, nullptr);
  }
}

// Holds SIGINT, SIGTERM and SIGHUP back while the new files change state.
struct signals_held {
  signals_held() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal_number);
    sigprocmask(SIG_BLOCK, &held, &saved);
  }
  ~signals_held() { sigprocmask(SIG_SETMASK, &saved, nullptr); }
  signals_held(const signals_held &) = delete;
  signals_held &operator=(const signals_held &) = delete;
  sigset_t saved;
};

// The length of the directory part of `name`, its last '/' included (0 when it has none).
size_t directory_length(const char *name) {
  const char *slash = std::strrchr(name, '/');
  return slash == nullptr ? 0 : static_cast<size_t>(slash - name) + 1;
}

bool sync_directory_of(const char *name) {
  char directory[PATH_MAX];
  const size_t length = directory_length(name);
  if (length == 0) {
    std::strcpy(directory, ".");
  } else {
    std::memcpy(directory, name, length);
    directory[length] = '\0';
  }
  const int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0 || errno == EINVAL; // some file systems cannot sync one
  close(fd);
  return synced;
}

bool same_directory(const char *one, const char *other) {
  const size_t length = directory_length(one);
  return length == directory_length(other) && std::strncmp(one, other, length) == 0;
}

// Makes the data of the waiting files durable: one sync of each file system they are on where
// the system has it (far cheaper than a sync per file), else one per file.
bool sync_pending_data() {
#if defined(__linux__)
  dev_t synced[MOST_PENDING];
  size_t synced_count = 0;
  for (sig_atomic_t k = 0; k < pending_count; ++k) {
    struct stat status;
    if (fstat(pending[k].fd, &status) != 0) return false;
    bool done = false;
    for (size_t d = 0; d < synced_count; ++d) done |= synced[d] == status.st_dev;
    if (done) continue;
    if (syncfs(pending[k].fd) != 0) return false;
    synced[synced_count++] = status.st_dev;
  }
  return true;
#else
  for (sig_atomic_t k = 0; k < pending_count; ++k)
    if (fsync(pending[k].fd) != 0) return false;
  return true;
#endif
}

} // namespace

bool inspect_file(const char *name, file_facts &facts) {
  struct stat status;
  if (lstat(name, &status) != 0) return false;
  facts.kind = S_ISLNK(status.st_mode)   ? file_kind::symbolic_link
               : S_ISREG(status.st_mode) ? file_kind::regular
                                         : file_kind::other;
  facts.links = static_cast<unsigned long>(status.st_nlink);
  facts.mode = status.st_mode & 07777;
  facts.owner = static_cast<long>(status.st_uid);
  facts.group = static_cast<long>(status.st_gid);
  return true;
}

int create_replacement(const char *name) {
  guard_signals();
  const size_t length = directory_length(name);
  const char *base = name + length;
  pending_file &slot = pending[pending_count];
  if (length + std::strlen(base) + 16 > sizeof slot.path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const signals_held held;
  std::memcpy(slot.path, name, length);
  std::snprintf(slot.path + length, sizeof slot.path - length, ".%s.XXXXXX", base);
  const int fd = mkostemp(slot.path, O_CLOEXEC);
  if (fd < 0) return -1;
  slot.fd = fd;
  slot.name = name;
  current_exists = 1;
  return fd;
}

bool install_replacement(int fd, const char *name, const file_facts &facts,
                         void (*failed)(const char *name, int error)) {
  // The owner first: changing it may clear the set-user-ID and set-group-ID bits.
  if (fchown(fd, static_cast<uid_t>(facts.owner), static_cast<gid_t>(facts.group)) != 0)
    (void)!fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(facts.group));
  if (fchmod(fd, static_cast<mode_t>(facts.mode)) != 0) {
    const int error = errno;
    discard_replacement(fd);
    failed(name, error);
    return false;
  }
  {
    const signals_held held;
    pending[pending_count].name = name;
    pending_count = pending_count + 1;
    current_exists = 0;
  }
  return pending_count < static_cast<sig_atomic_t>(MOST_PENDING) || commit_replacements(failed);
}

bool commit_replacements(void (*failed)(const char *name, int error)) {
  const signals_held held;
  bool all = true;
  const bool durable = sync_pending_data();
  const int sync_error = errno;
  for (sig_atomic_t k = 0; k < pending_count; ++k) {
    pending_file &file = pending[k];
    bool done = durable;
    int error = sync_error;
    if (close(file.fd) != 0 && done) done = false, error = errno;
    if (done && rename(file.path, file.name) != 0) done = false, error = errno;
    if (!done) {
      unlink(file.path);
      failed(file.name, error);
      all = false;
      file.name = nullptr;
    }
  }
  // Each directory once, after its renames.
  for (sig_atomic_t k = 0; k < pending_count; ++k) {
    if (pending[k].name == nullptr) continue;
    bool seen = false;
    for (sig_atomic_t j = 0; j < k; ++j)
      seen |= pending[j].name != nullptr && same_directory(pending[j].name, pending[k].name);
    if (!seen && !sync_directory_of(pending[k].name)) {
      failed(pending[k].name, errno);
      all = false;
    }
  }
  pending_count = 0;
  return all;
}

void discard_replacement(int fd) {
  const signals_held held;
  if (fd >= 0) close(fd);
  if (current_exists) unlink(pending[pending_count].path);
  current_exists = 0;
}

bool rewind_file(int fd) {
  return lseek(fd, 0, SEEK_SET) == 0;
}
