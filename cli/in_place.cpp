// SPDX-License-Identifier: MIT
#include "in_place.h"

#include "audit.h"
#include "file_identities.h"
#include "messages.h"
#include "output.h"
#include "platform.h"
#include "replacement.h"
#include "status.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int STATUS_LEFT_UNCHANGED = 8;

// What the run has come to: the statuses of its files, and the file systems that a problem of
// their own (not of one file) has ended, with that problem.
int run_status = STATUS_SUCCESS;
struct failed_file_system {
  uint64_t device; // every device when the process's own file-size limit was reached
  int error;
};
std::vector<failed_file_system> failed_file_systems;
constexpr uint64_t EVERY_DEVICE = ~uint64_t{0};

// Problems that end every later file of the same file system too: it is full, broken or
// read-only. Any other problem is the file's own (its name, its permissions, its size, another
// process holding it), and the run goes on.
bool ends_the_file_system(int error) {
  switch (error) {
  case ENOSPC:
  case EIO:
  case EROFS:
#if defined(EDQUOT)
  case EDQUOT:
#endif
    return true;
  default:
    return false;
  }
}

void note_failure(const replacement &file, int error) {
  if (ends_the_file_system(error))
    failed_file_systems.push_back({file.facts.device, error});
  else if (error == EFBIG && file_size_limit_reached(file))
    failed_file_systems.push_back({EVERY_DEVICE, error});
}

// The problem that ended the file system of `device`, or 0.
int failure_of_file_system(uint64_t device) {
  for (const failed_file_system &failed : failed_file_systems)
    if (failed.device == device || failed.device == EVERY_DEVICE) return failed.error;
  return 0;
}

void report_failure(const replacement &file, const char *what, int error) {
  print_message({file.name, ": ", what, ": ", error_description(error), "\n"});
  run_status |= STATUS_FAILURE;
  note_failure(file, error);
}

void leave_unchanged(const char *name, const char *reason, const char *more = "",
                     const char *detail = "") {
  print_message({name, ": left unchanged: ", reason, more, detail, "\n"});
  run_status |= STATUS_LEFT_UNCHANGED;
}

void report_commit_problem(const replacement &file, commit_problem problem, int error) {
  switch (problem) {
  case commit_problem::not_durable:
    report_failure(file, "write error", error);
    break;
  case commit_problem::changed:
    leave_unchanged(file.name, "changed while being converted");
    break;
  case commit_problem::not_replaced:
    report_failure(file, "cannot be replaced", error);
    break;
  case commit_problem::folder_not_synced:
    report_failure(file, "replaced, but its folder could not be synced", error);
    break;
  }
}

// Why the file must not be replaced before it is even read, or null.
const char *refusal_by_kind(const file_facts &facts) {
  if (facts.kind == file_kind::symbolic_link) return "symbolic link";
  if (facts.kind != file_kind::regular) return "not a regular file";
  if (facts.links > 1) return "has other hard links";
  return nullptr;
}

// The conversion of the current file goes to write_conversion. While it is the original byte for
// byte nothing is written, so that a conversion that changes nothing leaves the file as it was
// (its inode and times too); at the first difference the new file is made, the matching start
// copied into it from the original, and the rest written after it.
struct conversion_target {
  replacement *file;
  uint64_t matched; // bytes of the conversion equal to the original's so far
  int read_error;   // errno of reading the original to compare, else 0
  int create_error; // errno of making the new file, else 0
  int write_error;  // errno of writing it, else 0
};
conversion_target target;
unsigned char original_bytes[OUTPUT_BUFFER_SIZE];

size_t common_length(const unsigned char *one, const unsigned char *other, size_t size) {
  return static_cast<size_t>(std::mismatch(one, one + size, other).first - one);
}

long read_original(uint64_t offset, size_t size) {
  const long got = read_original_at(*target.file, original_bytes, size, offset);
  if (got < 0) target.read_error = errno;
  return got;
}

bool start_new_file() {
  replacement &file = *target.file;
  if (!create_new_file(file)) {
    target.create_error = errno;
    return false;
  }
  for (uint64_t copied = 0; copied < target.matched;) {
    const size_t chunk =
        static_cast<size_t>(std::min<uint64_t>(sizeof original_bytes, target.matched - copied));
    const long got = read_original(copied, chunk);
    if (got == 0) target.read_error = errno = EIO; // it shrank under us
    if (got <= 0) return false;
    if (!write_new_file(file, original_bytes, static_cast<size_t>(got))) {
      target.write_error = errno;
      return false;
    }
    copied += static_cast<uint64_t>(got);
  }
  return true;
}

bool write_conversion(const unsigned char *data, size_t size) {
  if (target.file->state == replacement_state::opened) {
    size_t same = 0;
    while (same < size) {
      const long got = read_original(target.matched + same, size - same);
      if (got < 0) return false;
      if (got == 0) break;
      const size_t count = common_length(original_bytes, data + same, static_cast<size_t>(got));
      same += count;
      if (count < static_cast<size_t>(got)) break;
    }
    target.matched += same;
    if (same == size) return true;
    if (!start_new_file()) return false;
    data += same;
    size -= same;
  }
  if (write_new_file(*target.file, data, size)) return true;
  target.write_error = errno;
  return false;
}

// The first word of the usage text: the name the hidden files carry.
const char *program_word(const program_profile &profile) {
  static char word[16];
  const size_t length = std::min(std::strcspn(profile.usage, " "), sizeof word - 1);
  std::memcpy(word, profile.usage, length);
  word[length] = '\0';
  return word;
}

// Converts one file into its new file, which waits in the batch; or leaves the file as it is,
// saying why.
void convert_one(const char *name, const program_profile &profile) {
  int error = 0;
  replacement &file = open_original(name, program_word(profile), report_commit_problem, error);
  if (const int failed = error == 0 ? failure_of_file_system(file.facts.device) : 0) {
    print_message({name, ": not converted: its file system failed earlier: ",
                   error_description(failed), "\n"});
    run_status |= STATUS_FAILURE;
    return discard_replacement(file);
  }
  const char *refusal = file.refusal != nullptr ? file.refusal : refusal_by_kind(file.facts);
  if (error != 0 && refusal == nullptr) {
    report_file_error(name, error_description(error));
    run_status |= STATUS_FAILURE;
  } else if (refusal != nullptr) {
    leave_unchanged(name, refusal);
  }
  // A name given again, or another name of a file already taken, is taken once.
  if (error != 0 || refusal != nullptr || !add_file_identity(file.facts.device, file.facts.inode))
    return discard_replacement(file);

  input_stream in = file_input(file.original);
  in.name = name;
  if (profile.in_place_refusal != nullptr) {
    const char *reason = profile.in_place_refusal(in);
    if (in.error == 0 && !rewind_file(file.original)) in.error = errno;
    if (in.error == 0 && reason != nullptr) {
      leave_unchanged(name, reason);
      return discard_replacement(file);
    }
  }
  target = {&file, 0, 0, 0, 0};
  program_io &io = program_streams();
  output_to_writer(io.out, write_conversion);
  in.consumed = 0;
  if (in.error == 0) {
    if (profile.before_conversion != nullptr) profile.before_conversion(io.out);
    const int status = profile.convert(in, io);
    audit_flush(io.log);
    if (output_flush(io.out) && in.error == 0 && file.state == replacement_state::opened &&
        target.matched != file.facts.size)
      start_new_file(); // the conversion is shorter than the original, and its start
    run_status |= status;
  }
  if (in.error == 0) in.error = target.read_error;
  if (in.error != 0) {
    report_file_error(name, error_description(in.error));
    run_status |= STATUS_FAILURE;
    return discard_replacement(file);
  }
  if (target.create_error != 0) {
    report_failure(file, "cannot be replaced", target.create_error);
    return discard_replacement(file);
  }
  if (target.write_error != 0) {
    report_failure(file, "write error", target.write_error);
    return discard_replacement(file);
  }
  // A read that ended early (a network file system does on errors) is not the file's end: only
  // a conversion of all its bytes replaces it.
  if (in.consumed != file.facts.size) {
    leave_unchanged(name, "changed while being converted");
    return discard_replacement(file);
  }
  if (const uint64_t dropped = profile.dropped(); dropped != 0) {
    char count[32];
    std::snprintf(count, sizeof count, "%" PRIu64 " dropped", dropped);
    leave_unchanged(name, count);
    return discard_replacement(file);
  }
  if (file.state == replacement_state::opened) return discard_replacement(file); // the same bytes
  if (const char *kept = copy_access(file, error)) {
    leave_unchanged(name, kept, " could not be kept: ", error_description(error));
    return discard_replacement(file);
  }
  close_original(file);
  if (!finish_new_file(file)) return report_failure(file, "write error", errno);
  add_file_identity(file.facts.device, file.new_inode);
}

} // namespace

int convert_in_place(int first_file, int argc, char **argv, const program_profile &profile) {
  if (first_file >= argc) {
    print_message({argc > 0 ? argv[0] : "", ": --in-place needs files\n"});
    return STATUS_FAILURE;
  }
  run_status = STATUS_SUCCESS;
  failed_file_systems.clear();
  for (int index = first_file; index < argc; ++index) convert_one(argv[index], profile);
  // The files written so far are complete: they replace theirs even after a problem of the disk.
  commit_replacements(report_commit_problem, true);
  forget_file_identities();
  output_to_descriptor(program_streams().out, STDOUT_FD);
  return run_status;
}
