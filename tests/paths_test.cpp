// SPDX-License-Identifier: MIT
#include "paths.h"
#include "wildcard_match.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string take(char *fresh) {
  std::string text(fresh);
  std::free(fresh);
  return text;
}

struct path_case {
  path_syntax syntax;
  const char *input;
  const char *expected;
};

constexpr path_syntax WINDOWS = path_syntax::windows;
constexpr path_syntax POSIX = path_syntax::posix;

TEST(paths, directory_part_of_a_pattern) {
  const path_case cases[] = {
      {WINDOWS, "dir\\sub\\*.txt", "dir\\sub"},
      {WINDOWS, "*.txt", ""},
      {WINDOWS, "\\*.txt", "\\"},
      {WINDOWS, "C:\\*.txt", "C:\\"},
      {WINDOWS, "C:*.txt", "C:"},
      {WINDOWS, "\\\\host\\share\\*.txt", "\\\\host\\share"},
      {WINDOWS, "\\dir\\*.txt", "\\dir"},
      {WINDOWS, "dir/sub/*.txt", "dir/sub"},
      {WINDOWS, "C:/x\\*.txt", "C:/x"},
      {WINDOWS, "sub/\x95\x5C*.txt", "sub"},    // 0x955C keeps its 0x5C
      {WINDOWS, "\x95\x5C\\*.txt", "\x95\x5C"}, // a directory named with 0x955C
      {WINDOWS, "a\x95\x5C*", ""},
      {WINDOWS, "a\\\x95", "a"}, // a lead byte at the very end
      // A lead-range byte before a byte that is no trail byte stands alone: the UTF-8 name
      // E3 81 82 ends at the separator after it.
      {POSIX, "u/\xE3\x81\x82/*.txt", "u/\xE3\x81\x82"},
      {POSIX, "sub/*.txt", "sub"},
      {POSIX, "*.txt", ""},
      {POSIX, "/*.txt", "/"},
      {POSIX, "/dir/*.txt", "/dir"},
      {POSIX, "dir\\sub\\*.txt", ""}, // a backslash is an ordinary character
      {POSIX, "C:/x/*.txt", "C:/x"},
      {POSIX, "\x95\x5C/*.txt", "\x95\x5C"},
      {POSIX, "a//b/*", "a//b"},
  };
  for (const path_case &c : cases)
    EXPECT_EQ(take(directory_part(c.input, c.syntax)), c.expected) << c.input;
}

TEST(paths, join_path_of_prefix_and_name) {
  struct join_case {
    path_syntax syntax;
    const char *prefix;
    const char *expected; // the prefix joined with the name "a.txt"
  };
  const join_case cases[] = {
      {WINDOWS, "\\", "\\a.txt"},
      {WINDOWS, "/", "\\a.txt"},
      {WINDOWS, "C:", "C:a.txt"},
      {WINDOWS, "C:\\", "C:\\a.txt"},
      {WINDOWS, "C:/", "C:/a.txt"},
      {WINDOWS, "", "a.txt"},
      {WINDOWS, "dir\\sub", "dir\\sub\\a.txt"},
      {WINDOWS, "dir/sub", "dir/sub\\a.txt"},
      {WINDOWS, "\\\\host\\share", "\\\\host\\share\\a.txt"},
      {WINDOWS, "C:\\x", "C:\\x\\a.txt"},
      {WINDOWS, "\x95\x5C", "\x95\x5C\\a.txt"},
      {POSIX, "/", "/a.txt"},
      {POSIX, "", "a.txt"},
      {POSIX, "sub", "sub/a.txt"},
      {POSIX, "/dir", "/dir/a.txt"},
      {POSIX, "C:", "C:/a.txt"},
      {POSIX, "\\", "\\/a.txt"},
  };
  for (const join_case &c : cases)
    EXPECT_EQ(take(join_path(c.prefix, "a.txt", c.syntax)), c.expected) << c.prefix;
}

TEST(paths, has_wildcard_skips_double_byte_characters_and_help) {
  const std::pair<const char *, bool> cases[] = {
      {"*.txt", true},
      {"a?c", true},
      {"abc", false},
      {"", false},
      {"-?", false},
      {"/?", false},
      {"-?x", true},
      {"?", true},
      {"-b?", true},
      {"/??", true},
      {"\x95\x40*", true},
      {"a\x95", false},
      {"\x81?*", true},
      {"\xA0?", true},
      // * and ? are never trail bytes: after a lead-range byte they are still wildcards, as
      // in the UTF-8 names \xE3\x81\x82* and \xE6\x97\xA5*.
      {"\x95*", true},
      {"\xE0\x3F", true},
      {"\xE3\x81\x82*", true},
      {"\xE6\x97\xA5*", true},
  };
  for (const auto &[arg, expected] : cases) EXPECT_EQ(has_wildcard(arg), expected) << arg;
}

TEST(paths, only_star_and_question_mark_are_wildcards) {
  struct match_case {
    const char *pattern, *name;
    bool matches;
  };
  const match_case cases[] = {
      {"*", "", true},
      {"*", ".hidden", true},
      {"?", "", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"*.txt", "a.txt", true},
      {"*.txt", "a.txt2", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYcZ", false},
      {"**", "x", true},
      {"report[1]*", "report1.txt", false},
      {"report[1]*", "report[1].txt", true},
      {"\\*", "\\x", true},
      {"\\*", "x", false},
      {"*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const match_case &c : cases)
    EXPECT_EQ(matches_wildcard(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

} // namespace
