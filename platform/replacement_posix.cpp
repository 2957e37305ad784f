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

// The new file's path, where a signal handler can read it: empty while there is none.
char replacement_path[PATH_MAX + 32];
volatile sig_atomic_t replacement_exists = 0;

void remove_and_end(int signal_number) {
  if (replacement_exists) unlink(replacement_path);
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

// Holds SIGINT, SIGTERM and SIGHUP back while the new file's path changes state.
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

// The directory part of `name` ("." when it has none).
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

int create_replacement(const char *name, const char *&path) {
  guard_signals();
  const size_t length = directory_length(name);
  const char *base = name + length;
  if (length + std::strlen(base) + 16 > sizeof replacement_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const signals_held held;
  std::memcpy(replacement_path, name, length);
  std::snprintf(replacement_path + length, sizeof replacement_path - length, ".%s.XXXXXX", base);
  const int fd = mkostemp(replacement_path, O_CLOEXEC);
  if (fd < 0) return -1;
  replacement_exists = 1;
  path = replacement_path;
  return fd;
}

bool install_replacement(int fd, const char *name, const file_facts &facts) {
  // The owner first: changing it may clear the set-user-ID and set-group-ID bits.
  if (fchown(fd, static_cast<uid_t>(facts.owner), static_cast<gid_t>(facts.group)) != 0)
    (void)!fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(facts.group));
  bool done = fchmod(fd, static_cast<mode_t>(facts.mode)) == 0 && fsync(fd) == 0;
  int error = errno;
  const signals_held held;
  if (close(fd) != 0 && done) done = false, error = errno;
  if (done && rename(replacement_path, name) != 0) done = false, error = errno;
  if (!done) unlink(replacement_path);
  replacement_exists = 0;
  if (!done) {
    errno = error;
    return false;
  }
  return sync_directory_of(name);
}

void discard_replacement(int fd) {
  const signals_held held;
  if (fd >= 0) close(fd);
  if (replacement_exists) unlink(replacement_path);
  replacement_exists = 0;
}

bool rewind_file(int fd) {
  return lseek(fd, 0, SEEK_SET) == 0;
}
