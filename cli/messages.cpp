// SPDX-License-Identifier: MIT
#include "messages.h"

#include "status.h"

#include <cstdio>
#include <cstdlib>

const char *program_name = "";

void report_file_error(const char *name, const char *description) {
  if (name[0] == '\0')
    std::fprintf(stderr, "%s\n", description);
  else
    std::fprintf(stderr, "%s: %s\n", name, description);
}

void out_of_memory() {
  std::fprintf(stderr, "%s: out of memory.\n", program_name);
  std::exit(STATUS_FAILURE);
}
