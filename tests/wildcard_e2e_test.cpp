// SPDX-License-Identifier: MIT
// Wildcard expansion as the built programs do it, in a tree of files made for each test.
#include "hex.h"
#include "program_test.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

const char USAGE[] = "varnok [-p code] [-bcluwyovzedfjsak] [--in-place] [files...]\n";

// One letter a file: the UTF-16 output shows which files were converted, in which order.
std::string utf16(const std::string &ascii) {
  std::string out;
  for (char c : ascii) out += std::string(1, '\0') + c;
  return out;
}

class wildcards : public program_test {
protected:
  void SetUp() override {
    start("VARNOK");
    if (IsSkipped()) return;
    for (const char *name : {"sub", "sub/zdir", "empty", ".hid"}) make_directory(name);
    const std::pair<const char *, const char *> files[] = {
        {"a.txt", "A"},     {"b.txt", "B"},     {"c.dat", "C"}, {".hidden.txt", "H"},
        {"sub/d.txt", "D"}, {"sub/e.txt", "E"}, {"-q", "Q"},    {"-bl", "L"},
        {"0x41", "X"},      {"bad", "\x80"}};
    for (const auto &[name, text] : files) make_file(name, text);
    // A directory whose name holds 0x955C (the CP932 code whose trail byte is '\'). Wine
    // passes the UTF-8 name to the program as CP932.
    make_directory(kanji_directory());
    make_file(kanji_directory() + "/f.txt", "F");
  }
  std::string kanji_directory() { return windows_target() ? "\xE8\xA1\xA8" : "\x95\x5C"; }
  // The separator the program joins names with.
  std::string separator() { return windows_target() ? "\\" : "/"; }

  process_result varnok(const std::vector<std::string> &args, const std::string &folder = "") {
    return run(args, "", folder);
  }
};

TEST_F(wildcards, matches_come_in_order_where_the_pattern_stood) {
  process_result r = varnok({"*.txt"});
  EXPECT_EQ(r.out, utf16("HAB")); // hidden names match too
  EXPECT_EQ(r.status, 0);
  r = varnok({"-b", "c.dat", "?.txt", "c.dat", "*.dat"});
  EXPECT_EQ(r.out, hex("FE FF") + utf16("CABCC"));
  EXPECT_EQ(r.status, 0);
  // With --in-place a hidden name (such as a new file a crash left) matches only a pattern
  // whose own part begins with a dot.
  r = varnok({"-p", "0x3013", "--in-place", "*.txt"});
  EXPECT_EQ(read_file(directory + "/a.txt"), hex("FE FF") + utf16("A"));
  EXPECT_EQ(read_file(directory + "/.hidden.txt"), "H");
  r = varnok({"--in-place", ".*.txt"});
  EXPECT_EQ(read_file(directory + "/.hidden.txt"), hex("FE FF") + utf16("H"));
}

TEST_F(wildcards, pattern_in_a_directory_yields_joined_names) {
  process_result r = varnok({"sub/*"});
  EXPECT_EQ(r.out, utf16("DE"));
  EXPECT_EQ(r.err, "sub" + separator() + "zdir: " + directory_error() + "\n");
  EXPECT_EQ(r.status, 1);
  std::string pattern = kanji_directory() + (windows_target() ? "\\" : "/") + "*.txt";
  r = varnok({pattern});
  EXPECT_EQ(r.out, utf16("F"));
  EXPECT_EQ(r.status, 0);
}

TEST_F(wildcards, pattern_without_match_passes_verbatim) {
  process_result r = varnok({"a.txt", "nothing*.txt"});
  EXPECT_EQ(r.out, utf16("A"));
  EXPECT_EQ(r.err.rfind("nothing*.txt: ", 0), 0u) << r.err;
  EXPECT_EQ(r.status, 1);
  // In an empty directory ".*" matches only "." and "..": it stays as typed.
  r = varnok({".*"}, "empty");
  EXPECT_EQ(r.err.rfind(".*: ", 0), 0u) << r.err;
  EXPECT_EQ(r.status, 1);
}

TEST_F(wildcards, directories_and_hidden_entries_expand_like_files) {
  process_result r = varnok({"a.txt", ".hi*"});
  EXPECT_EQ(r.out, utf16("A"));
  EXPECT_EQ(r.err, ".hid: " + directory_error() + "\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(wildcards, help_requests_are_not_patterns) {
  // "-?" would match the file "-q" if it were a pattern.
  process_result r = varnok({"-?"});
  EXPECT_EQ(as_text(r.out), USAGE);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  r = varnok({"-?x"}); // a pattern that matches nothing: the help letter, then x
  EXPECT_EQ(as_text(r.out), USAGE);
  EXPECT_EQ(r.status, 1);
  r = varnok({"/?"});
  if (windows_target()) {
    EXPECT_EQ(as_text(r.out), USAGE);
  } else {
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "/?: No such file or directory\n");
  }
  EXPECT_EQ(r.status, 1);
}

TEST_F(wildcards, options_and_the_value_after_p_expand_too) {
  process_result r = varnok({"-b?", "a.txt"}); // -b? matches the file "-bl": options b and l
  EXPECT_EQ(r.out, hex("FF FE 41 00"));
  EXPECT_EQ(r.status, 0);
  r = varnok({"-p", "0x4?", "bad"}); // 0x4? matches the file "0x41"
  EXPECT_EQ(r.out, hex("00 41"));
  EXPECT_EQ(r.status, 4);
  r = varnok({"-Z*"}); // no match: the group reaches the scanner as typed
  EXPECT_EQ(r.err, message("bad option Z"));
  EXPECT_EQ(r.status, 1);
}

TEST_F(wildcards, names_brackets_and_existing_paths) {
  // A directory with a UTF-8 name (E3 81 82: its last byte is a lead byte before '/'), a name
  // holding brackets, and (POSIX only) names holding * and ?.
  make_directory("u");
  make_directory("u/sub");
  make_directory("u/sub/\xE3\x81\x82");
  const std::pair<const char *, const char *> files[] = {
      {"u/sub/\xE3\x81\x82/a.txt", "R"},
      {"u/sub/a.txt", "W"},
      {"report[1].txt", "K"},
      {"report1.txt", "N"},
  };
  for (const auto &[name, text] : files) make_file(name, text);
  if (!windows_target()) {
    make_file("x?.txt", "Q");
    make_file("x*.txt", "S");
    make_file("xa.txt", "A");
  }
  struct wildcard_case {
    std::vector<std::string> args;
    const char *letters; // one a converted file, in order
    bool posix_only;
  };
  const wildcard_case cases[] = {
      {{"u/sub/\xE3\x81\x82/*.txt"}, "R", false},
      {{"report[1]*"}, "K", false},
      {{"x?.txt"}, "Q", true}, // an existing name is taken as it is
      {{"x*.txt"}, "S", true},
      {{"--", "x?.txt"}, "Q", true},
      {{"x?.tx?"}, "SQA", true}, // no such name: a pattern, matched in byte order
  };
  for (const wildcard_case &c : cases) {
    if (c.posix_only && windows_target()) continue;
    SCOPED_TRACE(c.args.back());
    process_result r = varnok(c.args);
    EXPECT_EQ(r.out, utf16(c.letters));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
}

} // namespace
