// SPDX-License-Identifier: MIT
// --in-place: each file converted on its own and replaced by its conversion, atomically and
// durably, when the conversion drops nothing.
#pragma once

#include "profile.h"

// Converts the files argv[first_file] ... argv[argc - 1] in place. Returns the exit status: the
// bits of the conversions (2, 4), 8 when a file was left unchanged, 1 after an error.
int convert_in_place(int first_file, int argc, char **argv, const program_profile &profile);
