// SPDX-License-Identifier: MIT
// Replacing a file by its conversion (--in-place): the new content goes to a hidden file beside
// the original, which then takes the original's name in one atomic rename, keeping its
// permissions. After a crash or power loss at any moment the file is its old content or its new
// one, complete: the new data is durable before the rename, and the directory after it.
#pragma once

#include <cstddef>

enum class file_kind { regular, symbolic_link, other };

// What replacing a file must know of it, and keep.
struct file_facts {
  file_kind kind;
  unsigned long links; // names the file has
  unsigned long mode;  // POSIX: the permission bits; Windows: the attributes
  long owner, group;   // POSIX only
};

// The facts of the entry `name` itself (a symbolic link is not followed): false with errno set.
bool inspect_file(const char *name, file_facts &facts);

// The new file for `name`: a descriptor open for writing, and its path (valid until the next
// call); -1 with errno set. While it exists, SIGINT, SIGTERM and SIGHUP remove it and end the
// process as the signal would.
int create_replacement(const char *name, const char *&path);

// Gives the new file the permissions of `facts` (the owner and group where the process may set
// them), makes its data durable, closes it and renames it over `name`; then makes the directory
// durable. False with errno set; the new file is gone then, and `name` as it was unless only the
// directory could not be made durable.
bool install_replacement(int fd, const char *name, const file_facts &facts);

// Closes (when `fd` is not -1) and removes the new file.
void discard_replacement(int fd);

// Sets the read position of `fd` back to the start: false with errno set.
bool rewind_file(int fd);
