// SPDX-License-Identifier: MIT
// The messages of the front end, on standard error.
#pragma once

#include "block_loop.h"

#include <initializer_list>

// The program's own output and standard error (one for the process), which the front end hands
// to the conversions.
program_io &program_streams();

// The name the process was started by (argument 0, unchanged), at the head of messages.
extern const char *program_name;

// Writes the parts, one after the other, to standard error; a dead standard error costs
// nothing else.
void print_message(std::initializer_list<const char *> parts);

// "name: description", or the description alone for an empty name (inputs that fail).
void report_file_error(const char *name, const char *description);

// Ends the process with "%s: out of memory.\n" and the failure status.
[[noreturn]] void out_of_memory();
