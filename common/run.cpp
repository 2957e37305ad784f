#include "driver.h"
#include "output.h"
#include "platform.h"

#include <cerrno>
#include <cstdio>

namespace {

// "name: description", or the description alone for an empty name.
void report_file_error(const char *name, int error) {
  if (name[0] == '\0')
    std::fprintf(stderr, "%s\n", error_description(error));
  else
    std::fprintf(stderr, "%s: %s\n", name, error_description(error));
}

int report_input_is_output(const char *name) {
  std::fprintf(stderr, "%s: input file is output file\n", name);
  return 1;
}

// Converts one input; returns the converter's status, or 1 after a read error.
int convert_input(input_stream &in, const char *name, const program_profile &profile) {
  int status = profile.convert(in);
  if (in.error == 0) return status;
  report_file_error(name, in.error);
  return 1;
}

// True when `fd` is the file standard output appends to and still has bytes to read: converting
// it would read its own output and grow until the disk is full. What is buffered is written
// first, so that output already written to the file counts too.
bool input_is_output(int fd) {
  if (!same_regular_file(fd, STDOUT_FD)) return false;
  output_flush();
  return read_position_before_end(fd);
}

int convert_all(int first_file, int argc, char **argv, const program_profile &profile) {
  if (first_file >= argc) {
    if (input_is_output(STDIN_FD)) return report_input_is_output("-");
    input_stream in = file_input(STDIN_FD);
    return convert_input(in, "-", profile);
  }
  for (int index = first_file; index < argc; ++index) {
    if (output_error() != 0) return 1; // nothing more can be written
    int fd = open_for_reading(argv[index]);
    if (fd < 0) {
      report_file_error(argv[index], errno);
      return 1;
    }
    if (input_is_output(fd)) {
      close_file(fd);
      return report_input_is_output(argv[index]);
    }
    input_stream in = file_input(fd);
    int status = convert_input(in, argv[index], profile);
    close_file(fd);
    if (status != 0) return status;
  }
  return 0;
}

} // namespace

int run(int argc, char **argv, const program_profile &profile) {
  int first_file = 0;
  int status = scan_options(argc, argv, profile, first_file);
  if (status != KEEP_RUNNING) return status;

  set_binary_mode(STDOUT_FD);
  output_start();
  if (profile.before_conversion != nullptr) profile.before_conversion();
  status = convert_all(first_file, argc, argv, profile);
  if (!output_flush()) {
    std::fprintf(stderr, "%s: write error: %s\n", argc > 0 ? argv[0] : "",
                 error_description(output_error()));
    return 1;
  }
  return status;
}
