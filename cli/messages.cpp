// SPDX-License-Identifier: MIT
#include "messages.h"

#include "audit.h"
#include "status.h"

#include <cstdio>
#include <cstdlib>

const char *program_name = "";

void report_file_error(const char *name, const char *description) {
  audit_flush(); // the audit's lines of what came before go first
  if (name[0] == '\0')
    std::fprintf(stderr, "%s\n", description);
  else
    std::fprintf(stderr, "%s: %s\n", name, description);
}

void out_of_memory() {
  audit_flush();
  std::fprintf(stderr, "%s: out of memory.\n", program_name);
  std::exit(STATUS_FAILURE);
}
