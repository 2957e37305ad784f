// SPDX-License-Identifier: MIT
#include "in_place.h"

#include "audit.h"
#include "messages.h"
#include "output.h"
#include "platform.h"
#include "replacement.h"
#include "status.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>

namespace {

constexpr int STATUS_LEFT_UNCHANGED = 8;

void report_write_error(const char *name, int error) {
  print_message({name, ": write error: ", error_description(error), "\n"});
}

int leave_unchanged(const char *name, const char *reason) {
  print_message({name, ": left unchanged: ", reason, "\n"});
  return STATUS_LEFT_UNCHANGED;
}

// Why the file must not be replaced before it is even read, or null.
const char *refusal_by_kind(const file_facts &facts) {
  if (facts.kind == file_kind::symbolic_link) return "symbolic link";
  if (facts.kind != file_kind::regular) return "not a regular file";
  if (facts.links > 1) return "has other hard links";
  return nullptr;
}

// The run stops after a write error: the disk is full, or the directory cannot take files.
struct file_result {
  int status;
  bool stop;
};

file_result convert_one(const char *name, const program_profile &profile) {
  file_facts facts;
  if (!inspect_file(name, facts)) {
    report_file_error(name, error_description(errno));
    return {STATUS_FAILURE, false};
  }
  if (const char *reason = refusal_by_kind(facts)) return {leave_unchanged(name, reason), false};
  const int in_fd = open_for_reading(name);
  if (in_fd < 0) {
    report_file_error(name, error_description(errno));
    return {STATUS_FAILURE, false};
  }
  input_stream in = file_input(in_fd);
  in.name = name;
  if (profile.in_place_refusal != nullptr) {
    const char *reason = profile.in_place_refusal(in);
    if (in.error == 0 && !rewind_file(in_fd)) in.error = errno;
    if (in.error != 0) {
      close_file(in_fd);
      report_file_error(name, error_description(in.error));
      return {STATUS_FAILURE, false};
    }
    if (reason != nullptr) {
      close_file(in_fd);
      return {leave_unchanged(name, reason), false};
    }
  }
  const int out_fd = create_replacement(name);
  if (out_fd < 0) {
    const int error = errno;
    close_file(in_fd);
    report_write_error(name, error);
    return {STATUS_FAILURE, true};
  }
  output_to_descriptor(out_fd);
  if (profile.before_conversion != nullptr) profile.before_conversion();
  const int status = profile.convert(in);
  audit_flush();
  close_file(in_fd);
  if (!output_flush()) {
    discard_replacement(out_fd);
    report_write_error(name, output_error());
    return {STATUS_FAILURE, true};
  }
  if (in.error != 0) {
    discard_replacement(out_fd);
    report_file_error(name, error_description(in.error));
    return {STATUS_FAILURE, false};
  }
  if (const uint64_t dropped = audit_dropped(); dropped != 0) {
    discard_replacement(out_fd);
    char count[32];
    std::snprintf(count, sizeof count, "%" PRIu64 " dropped", dropped);
    return {status | leave_unchanged(name, count), false};
  }
  if (!install_replacement(out_fd, name, facts, report_write_error)) return {STATUS_FAILURE, true};
  return {status, false};
}

} // namespace

int convert_in_place(int first_file, int argc, char **argv, const program_profile &profile) {
  if (first_file >= argc) {
    print_message({argc > 0 ? argv[0] : "", ": --in-place needs files\n"});
    return STATUS_FAILURE;
  }
  // Every loss is counted, for the decision to replace; lines are written only with w.
  audit_lines_wanted = audit_enabled;
  audit_enabled = true;
  int status = STATUS_SUCCESS;
  for (int index = first_file; index < argc; ++index) {
    const file_result result = convert_one(argv[index], profile);
    status |= result.status;
    if (result.stop) break;
  }
  // The files converted so far are complete: they replace theirs even after a write error.
  if (!commit_replacements(report_write_error)) status |= STATUS_FAILURE;
  output_to_descriptor(STDOUT_FD);
  return status;
}
