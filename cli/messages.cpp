// SPDX-License-Identifier: MIT
#include "messages.h"

#include "audit.h"
#include "status.h"

#include <cstdlib>

const char *program_name = "";

program_io &program_streams() {
  static program_io streams;
  return streams;
}

void print_message(std::initializer_list<const char *> parts) {
  // After the audit's lines of what came before, through the same buffer.
  error_log &log = program_streams().log;
  for (const char *part : parts) audit_append_message(log, part);
  audit_flush(log);
}

void report_file_error(const char *name, const char *description) {
  if (name[0] == '\0')
    print_message({description, "\n"});
  else
    print_message({name, ": ", description, "\n"});
}

void out_of_memory() {
  print_message({program_name, ": out of memory.\n"});
  std::exit(STATUS_FAILURE);
}
