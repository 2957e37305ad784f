// SPDX-License-Identifier: MIT
// Option scanning: each letter acts at once, in the order given.
#pragma once

#include "profile.h"

#include <cstdint>

// scan_options returns this when the program goes on to convert.
constexpr int KEEP_RUNNING = -1;

// Scans the option groups of argv, applying each letter at once. Returns KEEP_RUNNING with
// `first_file` set to the index of the first file name, or the exit status of a run that ends
// here (help, a bad option); its messages are already written then.
int scan_options(int argc, char **argv, const program_profile &profile, int &first_file);

// The value after p: like strtol with base 0 (white space, sign, 0x hexadecimal, 0 octal; the
// rest ignored; no digits give 0), saturated to the signed 32-bit range.
int32_t parse_code(const char *text);
