// SPDX-License-Identifier: MIT
// --in-place and --version of both programs: files replaced by their conversion only when it
// loses nothing, every reason to leave a file as it is, permissions kept, failures and signals
// that leave every original intact and no new file behind.
#include "argument_vector.h"
#include "hex.h"
#include "program_test.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

struct in_place_case {
  const char *variable, *name;
  std::string good, good_out;    // a file that converts cleanly, and what it becomes
  std::string lossy;             // a file whose conversion drops one item
  int lossy_status;              // the conversion's bits for it
  std::string audit_line;        // what w says of it (after "lossy:")
  const char *second_run_reason; // why its conversion is left as it is by a second run
  const char *replacement;       // a p value, and what the lossy file becomes with it
  std::string lossy_replaced;
};

void PrintTo(const in_place_case &c, std::ostream *out) {
  *out << c.name;
}

class in_place : public program_test, public ::testing::WithParamInterface<in_place_case> {
protected:
  void SetUp() override { start(GetParam().variable); }
  std::string contents(const std::string &name) { return read_file(directory + "/" + name); }
  std::vector<std::string> hidden_names() { return hidden_names_in(directory); }
};

// The access control list of `one`: its owner and a named user may read and write it, its
// group nothing (so its mode shows 0660, the mask in the group bits).
const char ACCESS_LIST[] =
    "02 00 00 00 01 00 06 00 FF FF FF FF 02 00 06 00 FE FF 00 00 "
    "04 00 00 00 FF FF FF FF 10 00 06 00 FF FF FF FF 20 00 00 00 FF FF FF FF";

TEST_P(in_place, converts_each_file_on_its_own_and_keeps_its_permissions) {
  // The longest name a file may have: its new file's name is shorter.
  const std::string longest = windows_target() ? "three" : std::string(255, 'n');
  for (const std::string &name : {std::string("one"), std::string("two"), longest})
    make_file(name, GetParam().good);
  chmod((directory + "/one").c_str(), 0440);             // read-only, and stays so
  const bool root = !windows_target() && geteuid() == 0; // may give a file to someone else
  if (root) {
    ASSERT_EQ(chown((directory + "/two").c_str(), 1234, 5678), 0);
  }
  const std::string access_list = hex(ACCESS_LIST);
  const bool with_attributes =
      !windows_target() &&
      setxattr((directory + "/two").c_str(), "user.origin", "cp932", 5, 0) == 0 &&
      setxattr((directory + "/two").c_str(), "system.posix_acl_access", access_list.data(),
               access_list.size(), 0) == 0;
  const process_result r = run({"--in-place", "one", "two", longest});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  for (const std::string &name : {std::string("one"), std::string("two"), longest})
    EXPECT_EQ(contents(name), GetParam().good_out);
  EXPECT_TRUE(hidden_names().empty());
  struct stat status;
  stat((directory + "/one").c_str(), &status);
  EXPECT_EQ(status.st_mode & 0222, 0u);
  if (windows_target()) return;
  EXPECT_EQ(status.st_mode & 07777, 0440u);
  if (with_attributes) {
    char value[256];
    const ssize_t size =
        getxattr((directory + "/two").c_str(), "system.posix_acl_access", value, sizeof value);
    EXPECT_EQ(std::string(value, static_cast<size_t>(std::max<ssize_t>(size, 0))), access_list);
    EXPECT_EQ(getxattr((directory + "/two").c_str(), "user.origin", value, sizeof value), 5);
    stat((directory + "/two").c_str(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0660u);
  }
  stat((directory + "/two").c_str(), &status);
  if (root) {
    EXPECT_EQ(status.st_uid, 1234u);
    EXPECT_EQ(status.st_gid, 5678u);
  }
}

TEST_P(in_place, files_left_as_they_are_each_with_its_line) {
  struct kept {
    const char *name;
    std::string bytes;
    const char *reason;  // after "NAME: left unchanged: "
    const char *program; // the one program it is for, or ""
    const char *letters; // or ""
    bool posix_only;
  };
  const kept cases[] = {
      {"lossy", GetParam().lossy, "1 dropped", "", "", false},
      {"utf8", hex("41 E3 81 82 0A"), "looks like UTF-8 already", "varnok", "", false},
      {"cut8", hex("E6 97 A5 E3 83"), "looks like UTF-8 already", "varnok", "-u", false},
      {"marked8", hex("EF BB BF 82 A0"), "looks like UTF-8 already", "varnok", "", false},
      {"marked16", hex("FF FE 41 00"), "begins with a byte order mark", "varnok", "", false},
      {"marked16be", hex("FE FF 82 A0"), "begins with a byte order mark", "varnok", "", false},
      {"utf16", hex("00 41 00 0A"), "looks like UTF-16 already", "varnok", "-u", false},
      {"utf16", hex("00 41 00 0A"), "looks like UTF-16 already", "dostrel", "-u", false},
      {"cp932", hex("61 62 61 63 82 A0"), "does not look like UTF-16", "dostrel", "", false},
      {"link", "", "symbolic link", "", "", true},
      {"hard", GetParam().good, "has other hard links", "", "", true},
      {"folder", "", "not a regular file", "", "", false},
      {"fifo", "", "not a regular file", "", "", true},
  };
  for (const kept &c : cases) {
    if ((*c.program != '\0' && std::string(c.program) != GetParam().name) ||
        (c.posix_only && windows_target()))
      continue;
    SCOPED_TRACE(c.name);
    const std::string path = directory + "/" + c.name;
    if (std::string(c.name) == "folder") {
      make_directory(c.name);
    } else if (std::string(c.name) == "fifo") {
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    } else if (std::string(c.name) == "link") {
      make_file("target", GetParam().good);
      ASSERT_EQ(symlink("target", path.c_str()), 0);
    } else {
      make_file(c.name, c.bytes);
      if (std::string(c.name) == "hard") {
        ASSERT_EQ(link(path.c_str(), (path + "2").c_str()), 0);
      }
    }
    // Converted all the same, after the file left (with its byte order mark, UTF-16 whatever
    // the letters say, for dostrel).
    const bool marked = std::string(c.letters) == "-u" && std::string(GetParam().name) == "dostrel";
    make_file("good", (marked ? hex("FE FF") : "") + GetParam().good);
    std::vector<std::string> args = {"--in-place", c.name, "good"};
    if (*c.letters != '\0') args.insert(args.begin(), c.letters);
    process_input how;
    how.timeout_seconds = 60; // a FIFO opened to be read would wait for a writer
    const process_result r = run(args, how);
    EXPECT_EQ(contents("good"), std::string(c.letters) == "-u" && !marked ? hex("41 E3 81 82 0A")
                                                                          : GetParam().good_out);
    EXPECT_EQ(r.err, std::string(c.name) + ": left unchanged: " + c.reason + "\n");
    const int bits = std::string(c.name) == "lossy" ? GetParam().lossy_status : 0;
    EXPECT_EQ(r.status, 8 | bits);
    if (!c.bytes.empty()) {
      EXPECT_EQ(contents(c.name), c.bytes);
    }
    EXPECT_TRUE(hidden_names().empty());
  }
}

// A file named twice, or again in a second run, is converted once; a conversion that gives the
// same bytes leaves the file as it was, its inode too, and says nothing.
TEST_P(in_place, a_second_run_converts_nothing_again) {
  make_file("once", GetParam().good);
  process_result r = run({"--in-place", "once", "./once", "once"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(contents("once"), GetParam().good_out);
  r = run({"--in-place", "once"});
  EXPECT_EQ(r.err, std::string("once: left unchanged: ") + GetParam().second_run_reason + "\n");
  EXPECT_EQ(r.status, 8);
  EXPECT_EQ(contents("once"), GetParam().good_out);
  // Kana alone, no line feed: its UTF-16 holds no 00 byte, and reads as CP932 too.
  if (std::string(GetParam().name) == "varnok") {
    make_file("kana", hex("83 65 83 4C 83 58 83 67"));
    EXPECT_EQ(run({"--in-place", "kana"}).status, 0);
    r = run({"--in-place", "kana"});
    EXPECT_EQ(r.err, "kana: left unchanged: begins with a byte order mark\n");
    EXPECT_EQ(contents("kana"), hex("FE FF 30 C6 30 AD 30 B9 30 C8"));
  }
  make_file("ascii", "plain text\n");
  struct stat before, after;
  stat((directory + "/ascii").c_str(), &before);
  r = run({"-u", "--in-place", "ascii"});
  stat((directory + "/ascii").c_str(), &after);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

// With standard output and error closed (as cron and daemons run), no message goes into a file.
TEST_P(in_place, closed_standard_descriptors_take_no_file) {
  // Wine gives such a process pipes of its own, and ends it at its first message.
  if (windows_target()) GTEST_SKIP() << "wine replaces closed descriptors itself";
  make_file("good", GetParam().good);
  make_file("lossy", GetParam().lossy);
  process_input how;
  how.in = stdin_kind::closed;
  how.out = stdout_kind::closed;
  how.stderr_closed = true;
  process_result r = run({"--in-place", "good", "lossy"}, how);
  EXPECT_EQ(r.status, 8 | GetParam().lossy_status);
  EXPECT_EQ(contents("good"), GetParam().good_out);
  EXPECT_EQ(contents("lossy"), GetParam().lossy);
  // Replaced losses, each with its audit line, in a file larger than the output buffers.
  std::string big, big_out = GetParam().good_out.substr(0, GetParam().name[0] == 'v' ? 2 : 0);
  while (big.size() < 300'000) big += GetParam().lossy, big_out += GetParam().lossy_replaced;
  make_file("big", big);
  r = run({"-w", "-p", GetParam().replacement, "--in-place", "big"}, how);
  EXPECT_EQ(r.status, GetParam().lossy_status);
  EXPECT_TRUE(contents("big") == big_out);
}

// The folders a run keeps open stay within the descriptors the process may have.
TEST_P(in_place, many_folders_with_few_descriptors) {
  if (windows_target()) GTEST_SKIP() << "a POSIX limit";
  std::vector<std::string> args = {"--in-place"};
  for (int k = 0; k < 30; ++k) {
    std::string file = "d";
    file += std::to_string(k);
    make_directory(file);
    file += "/f";
    make_file(file, GetParam().good);
    args.push_back(file);
  }
  process_input how;
  how.open_files_limit = 24;
  const process_result r = run(args, how);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  for (size_t k = 1; k < args.size(); ++k) EXPECT_EQ(contents(args[k]), GetParam().good_out);
}

// Windows hands a name its ANSI code page cannot hold over as a look-alike ("cafe.txt") or with
// '?' (a wildcard): such a name is refused, and no other file is touched. POSIX names are bytes.
TEST_P(in_place, names_only_as_typed) {
  make_file("cafe.txt", GetParam().good);
  make_file("caf\xC3\xA9.txt", GetParam().good);
  make_file("\xED\x95\x9C\xEA\xB5\xAD.txt", GetParam().good); // Korean
  make_file("ab.txt", GetParam().good);
  process_result r = run({"--in-place", "caf\xC3\xA9.txt"});
  EXPECT_EQ(contents("cafe.txt"), GetParam().good);
  if (!windows_target()) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(contents("caf\xC3\xA9.txt"), GetParam().good_out);
    return;
  }
  EXPECT_EQ(r.err, "caf?.txt: cannot be named in code page 932\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(contents("caf\xC3\xA9.txt"), GetParam().good);
  r = run({"--in-place", "\xED\x95\x9C\xEA\xB5\xAD.txt", "a?.txt"});
  EXPECT_EQ(r.err, "??.txt: cannot be named in code page 932\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(contents("ab.txt"), GetParam().good_out);
  std::remove((directory + "/ab.txt").c_str());
  r = run({"--in-place", "*.txt"});
  EXPECT_EQ(r.err, "caf?.txt: cannot be named in code page 932\n"
                   "??.txt: cannot be named in code page 932\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(contents("cafe.txt"), GetParam().good_out);
  EXPECT_EQ(contents("\xED\x95\x9C\xEA\xB5\xAD.txt"), GetParam().good);
}

TEST_P(in_place, audit_lines_come_before_the_line_of_a_file_left_unchanged) {
  make_file("lossy", GetParam().lossy);
  const process_result r = run({"-w", "--in-place", "lossy"});
  EXPECT_EQ(r.err, "lossy:" + GetParam().audit_line + "\nlossy: left unchanged: 1 dropped\n");
  EXPECT_EQ(r.status, 8 | GetParam().lossy_status);
}

TEST_P(in_place, needs_files_and_goes_on_after_one_that_cannot_be_opened) {
  process_result r = run({"--in-place"});
  EXPECT_EQ(r.err, message("--in-place needs files"));
  EXPECT_EQ(r.status, 1);
  make_file("one", GetParam().good);
  make_file("two", GetParam().good);
  r = run({"--in-place", "one", "missing", "", "two"});
  EXPECT_EQ(r.err, "missing: No such file or directory\nNo such file or directory\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(contents("one"), GetParam().good_out);
  EXPECT_EQ(contents("two"), GetParam().good_out);
}

TEST_P(in_place, wildcards_name_the_files) {
  make_file("a.txt", GetParam().good);
  make_file("b.txt", GetParam().good);
  make_file("c.dat", GetParam().good);
  const process_result r = run({"--in-place", "*.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(contents("a.txt"), GetParam().good_out);
  EXPECT_EQ(contents("b.txt"), GetParam().good_out);
  EXPECT_EQ(contents("c.dat"), GetParam().good);
}

// A write that fails (a full disk; here the process's file-size limit, its signal at the default
// action) removes the new file, says so and ends the run: every original is as it was.
TEST_P(in_place, a_full_disk_leaves_every_original_intact) {
  if (windows_target()) GTEST_SKIP() << "needs a POSIX file-size limit";
  std::string big;
  while (big.size() < 100000) big += GetParam().good;
  make_file("small", GetParam().good);
  make_file("big", big);
  make_file("last", GetParam().good);
  process_input how;
  how.file_size_limit = 65536;
  const process_result r = run({"--in-place", "small", "big", "last"}, how);
  EXPECT_EQ(r.err, "big: write error: File too large\n"
                   "last: not converted: its file system failed earlier: File too large\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(contents("small"), GetParam().good_out);
  EXPECT_EQ(contents("big"), big);
  EXPECT_EQ(contents("last"), GetParam().good);
  EXPECT_TRUE(hidden_names().empty());
}

// SIGTERM or SIGKILL (under wine SIGINT, which wine makes a Ctrl-C) while a large file converts:
// the original stays whole; but after SIGKILL, no new file is left either.
TEST_P(in_place, an_interrupted_conversion_leaves_the_original) {
  std::string big;
  while (big.size() < 40'000'000) big += GetParam().good;
  std::vector<std::string> words;
  if (const char *launcher = std::getenv("E2E_LAUNCHER")) words.push_back(launcher);
  words.insert(words.end(), {program, "--in-place", "big"});
  for (int signal_number :
       windows_target() ? std::vector<int>{SIGINT} : std::vector<int>{SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal_number);
    make_file("big", big);
    const pid_t child = fork();
    if (child == 0) {
      std::vector<char *> args = argument_vector(words);
      if (chdir(directory.c_str()) == 0) execv(args[0], args.data());
      _exit(126);
    }
    // Wait for the new file to appear, then signal.
    for (int tries = 0; tries < 100000 && hidden_names().empty(); ++tries) usleep(100);
    kill(child, signal_number);
    int status = 0;
    waitpid(child, &status, 0);
    if (contents("big") != big) GTEST_SKIP() << "the conversion ended before the signal";
    if (signal_number != SIGKILL) {
      EXPECT_TRUE(hidden_names().empty());
    }
    for (const std::string &name : hidden_names()) unlink((directory + "/" + name).c_str());
  }
}

TEST_P(in_place, version_is_the_project_version) {
  const process_result r = run({"--version"});
  EXPECT_EQ(as_text(r.out), std::string(GetParam().name) + " " PROJECT_VERSION "\n");
  EXPECT_EQ(r.status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    both_programs, in_place,
    ::testing::Values(
        in_place_case{"VARNOK", "varnok", hex("41 82 A0 0A"), hex("FE FF 00 41 30 42 00 0A"),
                      hex("41 80 0A"), 4, "1:2: invalid byte 0x80: dropped",
                      "begins with a byte order mark", "0x3013", hex("00 41 30 13 00 0A")},
        in_place_case{"DOSTREL", "dostrel", hex("00 41 30 42 00 0A"), hex("41 82 A0 0A"),
                      hex("00 41 00 E9 00 0A"), 0, "1:3: U+00E9 has no code: dropped",
                      "does not look like UTF-16", "0x81AC", hex("41 81 AC 0A")}),
    [](const ::testing::TestParamInfo<in_place_case> &info) {
      return std::string(info.param.name);
    });

} // namespace
