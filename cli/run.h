// SPDX-License-Identifier: MIT
// The main routine of both programs once wildcards are expanded.
#pragma once

#include "profile.h"

// Scans the options and converts standard input or each named file in turn to standard
// output. Returns the exit status.
int run(int argc, char **argv, const program_profile &profile);
