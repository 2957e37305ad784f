// SPDX-License-Identifier: MIT
// Every way an input or the output can fail, for both programs: the promised message, status
// 1, and whatever was converted before the failure left in place.
#include "hex.h"
#include "program_test.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct program_case {
  const char *variable; // names the program in the environment
  std::string good;     // an input that converts cleanly
  std::string good_out; // what it gives
  std::string bad;      // an input with a non-zero converter status
};

void PrintTo(const program_case &c, std::ostream *out) {
  *out << c.variable;
}

class error_paths : public program_test, public ::testing::WithParamInterface<program_case> {
protected:
  void SetUp() override {
    start(GetParam().variable);
    if (IsSkipped()) return;
    make_file("good", GetParam().good);
    make_directory("sub");
  }
};

TEST_P(error_paths, inputs_that_cannot_be_opened_or_read) {
  struct input_case {
    std::string name;
    std::string message;
    bool posix_only;
  };
  const input_case cases[] = {
      {"missing.txt", "missing.txt: No such file or directory", false},
      {"", "No such file or directory", false},
      {"sub", "sub: " + directory_error(), false},
      // Opens, but every read fails.
      {"/proc/self/mem", "/proc/self/mem: Input/output error", true},
  };
  for (const input_case &c : cases) {
    if (c.posix_only && windows_target()) continue;
    SCOPED_TRACE(c.name);
    process_result r = run({"--", "good", c.name, "good"});
    EXPECT_EQ(r.out, GetParam().good_out); // the first file stays converted
    EXPECT_EQ(r.err, c.message + "\n");
    EXPECT_EQ(r.status, 1);
  }
}

TEST_P(error_paths, unreadable_file_is_reported) {
  if (windows_target() || geteuid() == 0) GTEST_SKIP() << "needs POSIX permissions, not root";
  make_file("locked", GetParam().good);
  chmod((directory + "/locked").c_str(), 0);
  process_result r = run({"locked"});
  EXPECT_EQ(r.err, "locked: Permission denied\n");
  EXPECT_EQ(r.status, 1);
}

TEST_P(error_paths, closed_standard_input_is_a_read_error) {
  process_input how;
  how.in = stdin_kind::closed;
  process_result r = run({}, how);
  // Wine gives a process whose standard input was closed a handle that fails reads as an
  // invalid argument.
  EXPECT_EQ(r.err, windows_target() ? "-: Invalid argument\n" : "-: Bad file descriptor\n");
  EXPECT_EQ(r.status, 1);
}

// A failed write is reported once, wins over the converter's status, and stops the program at
// once: an endless input ends too (the alarm only bounds a hang).
TEST_P(error_paths, failed_writes_are_reported_win_and_stop_at_once) {
  const std::pair<stdout_kind, const char *> outputs[] = {
      {stdout_kind::full_device, "No space left on device"},
      {stdout_kind::closed, "Bad file descriptor"},
  };
  for (const auto &[kind, description] : outputs) {
    if (kind == stdout_kind::full_device && windows_target()) continue; // no /dev/full there
    for (const std::string &input : {GetParam().good, GetParam().bad, std::string()}) {
      process_input how;
      how.bytes = input;
      how.in = input.empty() ? stdin_kind::endless : stdin_kind::bytes;
      how.out = kind;
      how.timeout_seconds = 10;
      process_result r = run({}, how);
      EXPECT_EQ(r.err, message(std::string("write error: ") + description));
      EXPECT_EQ(r.status, 1);
    }
    for (const char *line : {"--version", "--help"}) {
      process_input how;
      how.out = kind;
      process_result r = run({line}, how);
      EXPECT_EQ(r.err, message(std::string("write error: ") + description)) << line;
      EXPECT_EQ(r.status, 1);
    }
  }
}

// Standard error whose reader has gone costs standard output nothing: every byte is written and
// the status is the conversion's, with the audit's lines and with an open error's message.
TEST_P(error_paths, dead_standard_error_loses_no_output) {
  if (windows_target()) GTEST_SKIP() << "no SIGPIPE on Windows";
  std::string lossy;
  for (int k = 0; k < 20000; ++k) lossy += GetParam().bad;
  make_file("lossy", lossy);
  process_input how;
  how.stderr_reader_gone = true;
  process_result audited = run({"-w", "lossy"}, how);
  process_result plain = run({"lossy"});
  EXPECT_EQ(audited.out, plain.out);
  EXPECT_EQ(audited.status, plain.status);
  process_result missing = run({"good", "missing"}, how);
  EXPECT_EQ(missing.out, GetParam().good_out);
  EXPECT_EQ(missing.status, 1);
}

TEST_P(error_paths, running_out_of_memory_while_expanding) {
  if (windows_target() || std::getenv("SANITIZED") != nullptr)
    GTEST_SKIP() << "needs a native build without sanitizers";
  // 1,000 names matched 400 times take about 25 MB, over the limit of 20 MB.
  make_directory("many");
  for (int k = 0; k < 1000; ++k)
    make_file("many/a_file_name_long_enough_to_cost_memory_" + std::to_string(k), "");
  process_input how;
  how.address_space_limit = 20'000'000;
  process_result r = run(std::vector<std::string>(400, "*"), how, "many");
  EXPECT_EQ(r.err, message("out of memory."));
  EXPECT_EQ(r.status, 1);
}

TEST_P(error_paths, an_input_that_is_also_the_output_is_refused) {
  if (windows_target()) GTEST_SKIP() << "wine gives no file identity for inherited descriptors";
  struct same_file_case {
    std::vector<std::string> args; // none: standard input is the output file
    const char *output;            // the file standard output appends to
    const char *err;
    int status;
  };
  const same_file_case cases[] = {
      {{"good"}, "good", "good: input file is output file\n", 1},
      {{"other", "good", "other"}, "good", "good: input file is output file\n", 1},
      {{}, "good", "-: input file is output file\n", 1},
      {{"empty"}, "empty", "", 0}, // an empty output (as after `>`) has nothing to read
  };
  for (const same_file_case &c : cases) {
    for (const char *name : {"good", "other"}) make_file(name, GetParam().good);
    make_file("empty", "");
    process_input how;
    how.out = stdout_kind::file;
    how.output_file = directory + "/" + c.output;
    if (c.args.empty()) how.in = stdin_kind::file, how.input_file = how.output_file;
    process_result r = run(c.args, how);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.status);
  }
}

INSTANTIATE_TEST_SUITE_P(
    both_programs, error_paths,
    ::testing::Values(program_case{"VARNOK", hex("82 A0"), hex("30 42"), hex("41 80")},
                      program_case{"DOSTREL", hex("30 42"), hex("82 A0"), hex("00 41 00")}),
    [](const ::testing::TestParamInfo<program_case> &info) {
      return std::string(info.param.variable);
    });

} // namespace
