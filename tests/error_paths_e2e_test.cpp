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
  // Wine's C runtime describes the missing handle as an invalid argument.
  EXPECT_EQ(r.err, windows_target() ? "-: Invalid argument\n" : "-: Bad file descriptor\n");
  EXPECT_EQ(r.status, 1);
}

TEST_P(error_paths, failed_writes_are_reported_and_win_over_the_status) {
  const std::pair<stdout_kind, const char *> outputs[] = {
      {stdout_kind::full_device, "No space left on device"},
      {stdout_kind::closed, "Bad file descriptor"},
  };
  for (const auto &[kind, description] : outputs) {
    if (kind == stdout_kind::full_device && windows_target()) continue; // no /dev/full there
    for (const std::string &input : {GetParam().good, GetParam().bad}) {
      process_input how;
      how.bytes = input;
      how.out = kind;
      process_result r = run({}, how);
      EXPECT_EQ(r.err, message(std::string("write error: ") + description));
      EXPECT_EQ(r.status, 1);
    }
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
