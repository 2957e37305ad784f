// SPDX-License-Identifier: MIT
// The files a run of --in-place has taken, by identity (device and file number): a name given
// twice, or two names of one file, are taken once, and a file already replaced is not taken
// again under its name.
#pragma once

#include <cstdint>

// False when the file was taken already; else it is taken now.
bool add_file_identity(uint64_t device, uint64_t inode);
void forget_file_identities();
