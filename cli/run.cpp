// SPDX-License-Identifier: MIT
#include "run.h"

#include "audit.h"
#include "in_place.h"
#include "messages.h"
#include "options.h"
#include "output.h"
#include "platform.h"
#include "shared_settings.h"
#include "status.h"

#include <cerrno>

namespace {

// Converts one input; returns the converter's status, or the failure status after a read
// error.
int convert_input(input_stream &in, const char *name, const program_profile &profile) {
  in.name = name;
  program_io &io = program_streams();
  int status = profile.convert(in, io);
  audit_flush(io.log);
  if (in.error == 0) return status;
  report_file_error(name, error_description(in.error));
  return STATUS_FAILURE;
}

// True when `fd` is the file standard output appends to and still has bytes to read: converting
// it would read its own output and grow until the disk is full. What is buffered is written
// first, so that output already written to the file counts too.
bool input_is_output(int fd) {
  if (!same_regular_file(fd, STDOUT_FD)) return false;
  output_flush(program_streams().out);
  return read_position_before_end(fd);
}

int refuse_input_is_output(const char *name) {
  report_file_error(name, "input file is output file");
  return STATUS_FAILURE;
}

int convert_all(int first_file, int argc, char **argv, const program_profile &profile) {
  if (first_file >= argc) {
    if (input_is_output(STDIN_FD)) return refuse_input_is_output("-");
    input_stream in = file_input(STDIN_FD);
    if (standard_descriptor_was_closed(STDIN_FD)) in.error = EBADF; // read as it was: closed
    return convert_input(in, "-", profile);
  }
  for (int index = first_file; index < argc; ++index) {
    if (output_error(program_streams().out) != 0) return STATUS_FAILURE; // nothing can be written
    int fd = open_for_reading(argv[index]);
    if (fd < 0) {
      report_file_error(argv[index], error_description(errno));
      return STATUS_FAILURE;
    }
    if (input_is_output(fd)) {
      close_file(fd);
      return refuse_input_is_output(argv[index]);
    }
    input_stream in = file_input(fd);
    int status = convert_input(in, argv[index], profile);
    close_file(fd);
    if (status != STATUS_SUCCESS) return status;
  }
  return STATUS_SUCCESS;
}

} // namespace

int run(int argc, char **argv, const program_profile &profile) {
  int first_file = 0;
  int status = scan_options(argc, argv, profile, first_file);
  if (status != KEEP_RUNNING) return status;
  profile.prepare_conversion();
  if (in_place) return convert_in_place(first_file, argc, argv, profile);

  set_binary_mode(STDOUT_FD);
  output_stream &out = program_streams().out;
  output_start(out);
  if (profile.before_conversion != nullptr) profile.before_conversion(out);
  status = convert_all(first_file, argc, argv, profile);
  if (!output_flush(out)) {
    print_message(
        {argc > 0 ? argv[0] : "", ": write error: ", error_description(output_error(out)), "\n"});
    return STATUS_FAILURE;
  }
  return status;
}
