// SPDX-License-Identifier: MIT
// Folders reached only where whoever runs the program would go: run as root over other users'
// trees, a folder part that one of those users turned into a symbolic link must not take the
// run into a folder of root's, and a folder must stay the one it was for the whole run.
#pragma once

#include <cstddef>
#include <sys/types.h>

// Opens the folder `path` (its first `length` bytes; a trailing '/' is allowed, length 0 is the
// current folder) one component at a time, never following a symbolic link that is owned by
// anyone but root or the user running the program. A descriptor for searching the folder (not
// for reading it), or -1 with errno set; `foreign_link` is true when such a link was the reason.
int open_folder_by_trusted_links(const char *path, size_t length, bool &foreign_link);

// The first time the folder spelled `path` (its first `length` bytes) is seen in a run, its
// identity is kept and the answer is true; later, true only when it is still that folder.
bool same_folder_as_first_seen(const char *path, size_t length, dev_t device, ino_t inode);

// Forgets every folder seen (the end of a run, for the next one in the same process).
void forget_first_seen_folders();
