// SPDX-License-Identifier: MIT
#include "argument_vector.h"
#include "decode_fixture.h"
#include "options.h"

#include <string>
#include <vector>

namespace {

const char USAGE[] = "varnok [-p code] [-bcluwyovzedfjsak] [--in-place] [files...]\n";

struct scan_case {
  std::vector<std::string> args; // after the program name
  int result;                    // KEEP_RUNNING or the exit status
  int first_file;                // when running on
  const char *err;               // standard error
  bool usage;                    // the usage on standard output
  bool replace;                  // replace_enabled afterwards
  int32_t code;                  // replace_code afterwards
};

const scan_case SCAN_CASES[] = {
    {{}, KEEP_RUNNING, 1, "", false, false, 0},
    {{"a.txt", "-b"}, KEEP_RUNNING, 1, "", false, false, 0},
    {{"-b", "-l", "a.txt", "-x"}, KEEP_RUNNING, 3, "", false, false, 0},
    {{"--", "-x"}, KEEP_RUNNING, 2, "", false, false, 0},
    {{"-"}, KEEP_RUNNING, 2, "", false, false, 0},
    {{"--b", "-b-/l"}, KEEP_RUNNING, 3, "", false, false, 0},
    // p takes the next argument, parsed like strtol with base 0, saturated to 32 bits.
    {{"-p", "abc"}, KEEP_RUNNING, 3, "", false, true, 0},
    {{"-p", "-1"}, KEEP_RUNNING, 3, "", false, true, -1},
    {{"-p", " 0X1f"}, KEEP_RUNNING, 3, "", false, true, 31},
    {{"-p", "010"}, KEEP_RUNNING, 3, "", false, true, 8},
    {{"-p", "+12abc"}, KEEP_RUNNING, 3, "", false, true, 12},
    {{"-p", "0x10FFFF"}, KEEP_RUNNING, 3, "", false, true, 0x10FFFF},
    {{"-p", "-99999999999"}, KEEP_RUNNING, 3, "", false, true, INT32_MIN},
    {{"-pbp", "1", "2", "f"}, KEEP_RUNNING, 4, "", false, true, 2},
    {{"-b", "-p", "65", "-l"}, KEEP_RUNNING, 5, "", false, true, 65},
    {{"-p"}, 1, 0, "varnok: bad option -p: no code\n", false, true, 0},
    {{"-bp"}, 1, 0, "varnok: bad option -p: no code\n", false, true, 0},
    {{"-p", "0x110000"}, 1, 0, "varnok: bad option -p 0x110000\n", false, true, 0x110000},
    {{"-p", "1114112"}, 1, 0, "varnok: bad option -p 1114112\n", false, true, 0x110000},
    {{"-p", "99999999999"}, 1, 0, "varnok: bad option -p 99999999999\n", false, true, INT32_MAX},
    // Help and bad letters end the run with status 1.
    {{"--help"}, 1, 0, "", true, false, 0},
    {{"-h"}, 1, 0, "", true, false, 0},
    {{"-?"}, 1, 0, "", true, false, 0},
    {{"-b?", "a.txt"}, 1, 0, "", true, false, 0},
    {{"-bQ"}, 1, 0, "varnok: bad option Q\n", true, false, 0},
    {{"-B"}, 1, 0, "varnok: bad option B\n", true, false, 0},
    {{"-x"}, 1, 0, "varnok: bad option x\n", true, false, 0},
    {{"-b", "--help", "-Q"}, 1, 0, "", true, false, 0},
    {{"-Q", "-h"}, 1, 0, "varnok: bad option Q\n", true, false, 0},
    // With UTF-8 output in force when the scan ends, the p value must be a scalar value; the
    // message names the argument that set the value in force.
    {{"-u", "-p", "0xD800"}, 1, 0, "varnok: bad option -p 0xD800\n", false, true, 0xD800},
    {{"-p", "0xDFFF", "-u"}, 1, 0, "varnok: bad option -p 0xDFFF\n", false, true, 0xDFFF},
    {{"-up", "-1"}, 1, 0, "varnok: bad option -p -1\n", false, true, -1},
    {{"-p", "1", "-p", "0xDC00", "-lu"},
     1,
     0,
     "varnok: bad option -p 0xDC00\n",
     false,
     true,
     0xDC00},
    {{"-p", "0xDC00", "-p", "65", "-u"}, KEEP_RUNNING, 6, "", false, true, 65},
    {{"-u", "-p", "0x10FFFF"}, KEEP_RUNNING, 4, "", false, true, 0x10FFFF},
    {{"-u", "-l", "-p", "0xD800"}, KEEP_RUNNING, 5, "", false, true, 0xD800},
    {{"-u", "-p", "0x110000"}, 1, 0, "varnok: bad option -p 0x110000\n", false, true, 0x110000},
    // On POSIX (the unit tests' platform) an argument beginning with / is a path, never an
    // option group.
    {{"/home/a.txt"}, KEEP_RUNNING, 1, "", false, false, 0},
    {{"-b", "/?"}, KEEP_RUNNING, 2, "", false, false, 0},
};

using options = decode_fixture;

TEST_F(options, scan_follows_the_rules) {
  for (const scan_case &c : SCAN_CASES) {
    std::string trace = "varnok";
    for (const std::string &arg : c.args) trace += " " + arg;
    SCOPED_TRACE(trace);
    std::vector<std::string> words = {"varnok"};
    words.insert(words.end(), c.args.begin(), c.args.end());
    std::vector<char *> argv = argument_vector(words);

    std::string out;
    output_to_memory(program_streams().out, &out);
    testing::internal::CaptureStderr();
    int first_file = 0;
    int result =
        scan_options(static_cast<int>(words.size()), argv.data(), varnok_profile, first_file);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, c.result);
    if (result == KEEP_RUNNING) {
      EXPECT_EQ(first_file, c.first_file);
    }
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(out, c.usage ? USAGE : "");
    EXPECT_EQ(replace_enabled, c.replace);
    EXPECT_EQ(replace_code, c.code);
    TearDown();
    SetUp();
  }
}

TEST_F(options, letters_set_settings_and_patch_tables_at_once) {
  char arg0[] = "varnok", arg1[] = "-bly", arg2[] = "-d";
  char *argv[] = {arg0, arg1, arg2, nullptr};
  int first_file = 0;
  ASSERT_EQ(scan_options(3, argv, varnok_profile, first_file), KEEP_RUNNING);
  EXPECT_TRUE(varnok_options.mark);
  EXPECT_EQ(varnok_options.form, unicode_form::utf16_little);
  varnok_profile.prepare_conversion();
  EXPECT_EQ(program_decoder().setup.single[0x5C], 0xA5);
  EXPECT_EQ(program_decoder().setup.double_table[0x8160 - DOUBLE_FIRST_CODE], 0x301C);
}

TEST(parse_code, saturates_on_every_platform) {
  EXPECT_EQ(parse_code("2147483647"), INT32_MAX);
  EXPECT_EQ(parse_code("2147483648"), INT32_MAX);
  EXPECT_EQ(parse_code("0xFFFFFFFF"), INT32_MAX);
  EXPECT_EQ(parse_code("-2147483648"), INT32_MIN);
  EXPECT_EQ(parse_code("-2147483649"), INT32_MIN);
  EXPECT_EQ(parse_code("999999999999999999999999"), INT32_MAX);
  EXPECT_EQ(parse_code(""), 0);
  EXPECT_EQ(parse_code("0x"), 0);
  EXPECT_EQ(parse_code("09"), 0);
  EXPECT_EQ(parse_code("\t\n 077"), 63);
}

} // namespace
