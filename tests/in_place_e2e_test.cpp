// SPDX-License-Identifier: MIT
// --in-place and --version of both programs: files replaced by their conversion only when it
// loses nothing, every reason to leave a file as it is, permissions kept, failures and signals
// that leave every original intact and no new file behind.
#include "hex.h"
#include "program_test.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct in_place_case {
  const char *variable, *name;
  std::string good, good_out; // a file that converts cleanly, and what it becomes
  std::string lossy;          // a file whose conversion drops one item
  int lossy_status;           // the conversion's bits for it
  std::string audit_line;     // what w says of it (after "lossy:")
};

void PrintTo(const in_place_case &c, std::ostream *out) {
  *out << c.name;
}

class in_place : public program_test, public ::testing::WithParamInterface<in_place_case> {
protected:
  void SetUp() override { start(GetParam().variable); }
  std::string contents(const std::string &name) { return read_file(directory + "/" + name); }
  // The names in the scratch directory that begin with '.' (new files left behind).
  std::vector<std::string> hidden_names() {
    std::vector<std::string> names;
    DIR *folder = opendir(directory.c_str());
    while (const dirent *entry = folder == nullptr ? nullptr : readdir(folder))
      if (entry->d_name[0] == '.' && std::string(entry->d_name) != "." &&
          std::string(entry->d_name) != "..")
        names.push_back(entry->d_name);
    if (folder != nullptr) closedir(folder);
    return names;
  }
};

TEST_P(in_place, converts_each_file_on_its_own_and_keeps_its_permissions) {
  make_file("one", GetParam().good);
  make_file("two", GetParam().good);
  chmod((directory + "/one").c_str(), 0640);
  const bool root = !windows_target() && geteuid() == 0; // may give a file to someone else
  if (root) {
    ASSERT_EQ(chown((directory + "/two").c_str(), 1234, 5678), 0);
  }
  const process_result r = run({"--in-place", "one", "two"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(contents("one"), GetParam().good_out);
  EXPECT_EQ(contents("two"), GetParam().good_out);
  EXPECT_TRUE(hidden_names().empty());
  if (windows_target()) return;
  struct stat status;
  stat((directory + "/one").c_str(), &status);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
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
    const char *reason; // after "NAME: left unchanged: "
    bool varnok_only, posix_only;
  };
  const kept cases[] = {
      {"lossy", GetParam().lossy, "1 dropped", false, false},
      {"utf8", hex("41 E3 81 82 0A"), "looks like UTF-8 already", true, false},
      {"marked8", hex("EF BB BF 41"), "looks like UTF-8 already", true, false},
      {"marked16", hex("FF FE 41 00"), "begins with a byte order mark", true, false},
      {"link", "", "symbolic link", false, true},
      {"hard", GetParam().good, "has other hard links", false, true},
      {"folder", "", "not a regular file", false, false},
  };
  for (const kept &c : cases) {
    const bool varnok = std::string(GetParam().name) == "varnok";
    if ((c.varnok_only && !varnok) || (c.posix_only && windows_target())) continue;
    SCOPED_TRACE(c.name);
    const std::string path = directory + "/" + c.name;
    if (std::string(c.name) == "folder") {
      make_directory(c.name);
    } else if (std::string(c.name) == "link") {
      make_file("target", GetParam().good);
      ASSERT_EQ(symlink("target", path.c_str()), 0);
    } else {
      make_file(c.name, c.bytes);
      if (std::string(c.name) == "hard") {
        ASSERT_EQ(link(path.c_str(), (path + "2").c_str()), 0);
      }
    }
    make_file("good", GetParam().good); // converted all the same, after the file left
    const process_result r = run({"--in-place", c.name, "good"});
    EXPECT_EQ(contents("good"), GetParam().good_out);
    EXPECT_EQ(r.err, std::string(c.name) + ": left unchanged: " + c.reason + "\n");
    const int bits = std::string(c.name) == "lossy" ? GetParam().lossy_status : 0;
    EXPECT_EQ(r.status, 8 | bits);
    if (std::string(c.name) != "folder" && std::string(c.name) != "link") {
      EXPECT_EQ(contents(c.name), c.bytes);
    }
    EXPECT_TRUE(hidden_names().empty());
  }
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
  r = run({"--in-place", "one", "missing", "two"});
  EXPECT_EQ(r.err, "missing: No such file or directory\n");
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

// A write that fails (a full disk; here a file-size limit) removes the new file, says so and ends
// the run: every original is as it was.
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
  EXPECT_EQ(r.err, "big: write error: File too large\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(contents("small"), GetParam().good_out);
  EXPECT_EQ(contents("big"), big);
  EXPECT_EQ(contents("last"), GetParam().good);
  EXPECT_TRUE(hidden_names().empty());
}

// SIGTERM or SIGKILL while a large file converts: the original stays whole; after SIGTERM, no
// new file is left either.
TEST_P(in_place, an_interrupted_conversion_leaves_the_original) {
  if (windows_target()) GTEST_SKIP() << "needs POSIX signals";
  std::string big;
  while (big.size() < 40'000'000) big += GetParam().good;
  for (int signal_number : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal_number);
    make_file("big", big);
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(directory.c_str()) != 0) _exit(125);
      const char *args[] = {program.c_str(), "--in-place", "big", nullptr};
      execv(program.c_str(), const_cast<char **>(args));
      _exit(126);
    }
    // Wait for the new file to appear, then signal.
    for (int tries = 0; tries < 20000 && hidden_names().empty(); ++tries) usleep(100);
    kill(child, signal_number);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFSIGNALED(status)) GTEST_SKIP() << "the conversion ended before the signal";
    EXPECT_TRUE(contents("big") == big);
    if (signal_number == SIGTERM) {
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

INSTANTIATE_TEST_SUITE_P(both_programs, in_place,
                         ::testing::Values(in_place_case{"VARNOK", "varnok", hex("41 82 A0 0A"),
                                                         hex("00 41 30 42 00 0A"), hex("41 80 0A"),
                                                         4, "1:2: invalid byte 0x80: dropped"},
                                           in_place_case{
                                               "DOSTREL", "dostrel", hex("00 41 30 42 00 0A"),
                                               hex("41 82 A0 0A"), hex("00 41 00 E9 00 0A"), 0,
                                               "1:3: U+00E9 has no code: dropped"}),
                         [](const ::testing::TestParamInfo<in_place_case> &info) {
                           return std::string(info.param.name);
                         });

} // namespace
