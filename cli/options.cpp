// SPDX-License-Identifier: MIT
#include "options.h"

#include "messages.h"
#include "output.h"
#include "platform.h"
#include "shared_settings.h"
#include "status.h"

#include <cstdlib>
#include <cstring>

int32_t parse_code(const char *text) {
  long long value = std::strtoll(text, nullptr, 0);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

namespace {

bool starts_option_group(const char *arg) {
  return arg[0] == '-' || (SLASH_STARTS_OPTION && arg[0] == '/');
}

// Writes what is buffered for standard output; a failure is reported as in a conversion.
int flush_standard_output(const char *program, int status) {
  output_stream &out = program_streams().out;
  if (output_flush(out)) return status;
  print_message({program, ": write error: ", error_description(output_error(out)), "\n"});
  return STATUS_FAILURE;
}

// "NAME VERSION": the name is the usage text's first word.
int show_version(const char *program, const program_profile &profile) {
  output_stream &out = program_streams().out;
  output_start(out);
  const char *name_end = std::strchr(profile.usage, ' ');
  output_bytes(out, profile.usage, static_cast<size_t>(name_end - profile.usage));
  output_text(out, " " PROGRAM_VERSION "\n");
  return flush_standard_output(program, STATUS_SUCCESS);
}

int show_usage(const char *program, const program_profile &profile) {
  output_stream &out = program_streams().out;
  output_start(out);
  output_text(out, profile.usage);
  return flush_standard_output(program, STATUS_FAILURE);
}

} // namespace

int scan_options(int argc, char **argv, const program_profile &profile, int &first_file) {
  const char *program = argc > 0 ? argv[0] : "";
  int next = 1;
  while (next < argc && starts_option_group(argv[next])) {
    const char *group = argv[next++];
    if (std::strcmp(group, "--") == 0) break;
    if (std::strcmp(group, "--help") == 0) return show_usage(program, profile);
    if (std::strcmp(group, "--version") == 0) return show_version(program, profile);
    if (std::strcmp(group, "--in-place") == 0) {
      in_place = true;
      continue;
    }
    for (const char *letter = group + 1; *letter != '\0'; ++letter) {
      if (*letter == 'p') {
        replace_enabled = true;
        if (next >= argc) {
          print_message({program, ": bad option -p: no code\n"});
          return STATUS_FAILURE;
        }
        replace_code = parse_code(argv[next]);
        replace_text = argv[next];
        if (replace_code >= profile.replace_bound) {
          print_message({program, ": bad option -p ", argv[next], "\n"});
          return STATUS_FAILURE;
        }
        ++next;
      } else if (*letter == '-' || *letter == '/') {
        continue;
      } else if (*letter == 'h' || *letter == '?') {
        return show_usage(program, profile);
      } else if (!profile.apply_letter(*letter)) {
        const char bad[] = {*letter, '\0'};
        print_message({program, ": bad option ", bad, "\n"});
        return show_usage(program, profile);
      }
    }
  }
  if (profile.check_options != nullptr && !profile.check_options()) {
    print_message({program, ": bad option -p ", replace_text, "\n"});
    return STATUS_FAILURE;
  }
  first_file = next;
  return KEEP_RUNNING;
}
