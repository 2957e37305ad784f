// SPDX-License-Identifier: MIT
// The system calls that reading inputs and replacing files make on POSIX, through one table:
// a test wraps them to record their order ("data durable, then rename, then the folder" is an
// assertion there) or to make one of them fail.
#pragma once

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>

struct file_calls {
  int (*open_at)(int folder, const char *name, int flags, mode_t mode);
  ssize_t (*read)(int fd, void *buffer, size_t size);
  ssize_t (*write)(int fd, const void *data, size_t size);
  int (*status_at)(int folder, const char *name, struct stat *status, int flags);
  int (*file_system_of)(int fd, struct statfs *status);
  int (*sync_data)(int fd);        // one file's data (fdatasync)
  int (*sync_file_system)(int fd); // every file of its file system (syncfs)
  int (*sync_folder)(int fd);      // a folder's entries (fsync)
  int (*rename_at)(int from_folder, const char *from, int to_folder, const char *to);
  // Swaps two names atomically, both existing; EINVAL (or ENOSYS) where the system cannot.
  int (*exchange_at)(int from_folder, const char *from, int to_folder, const char *to);
  int (*unlink_at)(int folder, const char *name, int flags);
  int (*change_owner)(int fd, uid_t owner, gid_t group);
  int (*change_mode)(int fd, mode_t mode);
  ssize_t (*list_attributes)(int fd, char *names, size_t size);
  ssize_t (*get_attribute)(int fd, const char *name, void *value, size_t size);
  int (*set_attribute)(int fd, const char *name, const void *value, size_t size);
  int (*remove_attribute)(int fd, const char *name);
  int (*close)(int fd);
};

// The calls in use: the system's own, unless a test put others in their place.
extern file_calls system_calls;
