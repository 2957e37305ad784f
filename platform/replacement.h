// SPDX-License-Identifier: MIT
// Replacing a file by its conversion (--in-place): the new content goes to a hidden file beside
// the original, which then takes the original's name in one atomic rename, keeping its
// permissions. After a crash or power loss at any moment the file is its old content or its new
// one, complete: the new data is durable before the rename, and the directory after it. The
// syncs are batched (up to 128 files), never a rename before its data.
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

// The new file for `name` (which must stay valid until it is committed): a descriptor open for
// writing; -1 with errno set. While new files exist, SIGINT, SIGTERM and SIGHUP
// remove them and end the process as the signal would.
int create_replacement(const char *name);

// Gives the new file the permissions of `facts` (the owner and group where the process may set
// them) and queues it to replace `name`. The queued files are committed together: their data
// made durable (one sync of their file system where the system has it), then each renamed over
// the file it replaces, then each directory made durable; this happens when the queue is full,
// and at commit_replacements. A file that cannot be committed is removed and reported through
// `failed` (the file it would replace stays as it was), as is this file when it cannot be given
// its permissions (it is removed then). False after any such failure.
bool install_replacement(int fd, const char *name, const file_facts &facts,
                         void (*failed)(const char *name, int error));
bool commit_replacements(void (*failed)(const char *name, int error));

// Closes (when `fd` is not -1) and removes the new file.
void discard_replacement(int fd);

// Sets the read position of `fd` back to the start: false with errno set.
bool rewind_file(int fd);
