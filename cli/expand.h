// SPDX-License-Identifier: MIT
// The process entry of both programs: expands * and ? in the arguments, then calls run.
#pragma once

#include "profile.h"

// Replaces every argument that holds a wildcard by the names it matches, in the order the
// system lists them, where the pattern stood; a pattern that matches nothing (or only "." and
// "..") stays as typed. Returns the exit status of run on the new vector.
int expand_arguments(int argc, char **argv, const program_profile &profile);
