// SPDX-License-Identifier: MIT
#include "file_calls.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

namespace {

int open_at(int folder, const char *name, int flags, mode_t mode) {
  return openat(folder, name, flags, mode);
}

int sync_file_system(int fd) {
#if defined(__linux__)
  return syncfs(fd);
#else
  return fsync(fd);
#endif
}

int sync_data(int fd) {
#if defined(__APPLE__)
  return fsync(fd);
#else
  return fdatasync(fd);
#endif
}

int exchange_at(int from_folder, const char *from, int to_folder, const char *to) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
  return renameat2(from_folder, from, to_folder, to, RENAME_EXCHANGE);
#else
  (void)from_folder, (void)from, (void)to_folder, (void)to;
  errno = ENOSYS;
  return -1;
#endif
}

#if defined(__linux__)
int set_attribute(int fd, const char *name, const void *value, size_t size) {
  return fsetxattr(fd, name, value, size, 0);
}
#else // no extended attributes to copy
ssize_t list_attributes(int, char *, size_t) {
  return 0;
}
ssize_t get_attribute(int, const char *, void *, size_t) {
  return -1;
}
int set_attribute(int, const char *, const void *, size_t) {
  return -1;
}
int remove_attribute(int, const char *) {
  return 0;
}
#endif

} // namespace

file_calls system_calls = {
    open_at,    read,      write,         fstatat,      fstatfs, sync_data, sync_file_system,
    fsync,      renameat,  exchange_at,   unlinkat,     fchown,  fchmod,
#if defined(__linux__)
    flistxattr, fgetxattr, set_attribute, fremovexattr,
#else
    list_attributes,
    get_attribute,
    set_attribute,
    remove_attribute,
#endif
    close,
};
