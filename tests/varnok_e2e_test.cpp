// SPDX-License-Identifier: MIT
// Runs the built varnok and checks its output bytes, messages and exit status.
#include "hex.h"
#include "program_test.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const char USAGE[] = "varnok [-p code] [-bcluwyovzedfjsak] [--in-place] [files...]\n";

class varnok_e2e : public program_test {
protected:
  void SetUp() override {
    start("VARNOK");
    if (IsSkipped()) return;
    make_file("a.txt", hex("82 A0 0A"));
    make_file("bad.txt", hex("41 80"));
    make_file("cut.txt", hex("41 81"));
    make_file("empty.txt", "");
  }
  process_result varnok(const std::vector<std::string> &args, const std::string &input = "") {
    return run(args, input);
  }
};

TEST_F(varnok_e2e, converts_standard_input) {
  process_result r = varnok({}, hex("41 82 A0 81 0A"));
  EXPECT_EQ(to_hex(r.out), "00 41 30 42 00 0A");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 4);
}

TEST_F(varnok_e2e, empty_input_gives_empty_output) {
  process_result r = varnok({});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 0);
  r = varnok({"-b"});
  EXPECT_EQ(to_hex(r.out), "FE FF");
  EXPECT_EQ(r.status, 0);
  r = varnok({"-bl", "-"});
  EXPECT_EQ(to_hex(r.out), "FF FE");
  EXPECT_EQ(r.status, 0);
}

TEST_F(varnok_e2e, mark_is_written_once_for_all_files) {
  process_result r = varnok({"-b", "a.txt", "empty.txt", "a.txt"});
  EXPECT_EQ(to_hex(r.out), "FE FF 30 42 00 0A 30 42 00 0A");
  EXPECT_EQ(r.status, 0);
  r = varnok({"-lb", "a.txt"});
  EXPECT_EQ(to_hex(r.out), "FF FE 42 30 0A 00");
  r = varnok({"-lbu", "a.txt", "a.txt"});
  EXPECT_EQ(to_hex(r.out), "EF BB BF E3 81 82 0A E3 81 82 0A");
  r = varnok({"-ub", "-l", "a.txt"});
  EXPECT_EQ(to_hex(r.out), "FF FE 42 30 0A 00");
}

// UTF-8 holds only scalar values: the p value in force must be one when u is, checked after
// the whole scan; nothing is written then, not even the mark.
TEST_F(varnok_e2e, utf8_output_wants_a_scalar_replacement) {
  process_result r = varnok({"-bp", "0xD800", "-u", "a.txt"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, message("bad option -p 0xD800"));
  EXPECT_EQ(r.status, 1);
  r = varnok({"-u", "-p", "0x1F363", "bad.txt"});
  EXPECT_EQ(to_hex(r.out), "41 F0 9F 8D A3");
  EXPECT_EQ(r.status, 4);
}

TEST_F(varnok_e2e, converter_status_stops_the_run) {
  // The second file is never opened, so its missing name is not reported.
  process_result r = varnok({"bad.txt", "missing.txt"});
  EXPECT_EQ(to_hex(r.out), "00 41");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 4);
  r = varnok({"cut.txt", "a.txt"});
  EXPECT_EQ(to_hex(r.out), "00 41");
  EXPECT_EQ(r.status, 2);
}

TEST_F(varnok_e2e, unopenable_file_is_reported_and_ends_the_run) {
  process_result r = varnok({"-b", "a.txt", "missing.txt", "a.txt"});
  EXPECT_EQ(to_hex(r.out), "FE FF 30 42 00 0A");
  EXPECT_EQ(r.err, "missing.txt: No such file or directory\n");
  EXPECT_EQ(r.status, 1);
  r = varnok({""});
  EXPECT_EQ(r.err, "No such file or directory\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(varnok_e2e, bad_options_convert_nothing) {
  process_result r = varnok({"-bQ", "a.txt"});
  EXPECT_EQ(as_text(r.out), USAGE);
  EXPECT_EQ(r.err, message("bad option Q"));
  EXPECT_EQ(r.status, 1);
  r = varnok({"-b", "-p"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, message("bad option -p: no code"));
  EXPECT_EQ(r.status, 1);
  r = varnok({"-p", "0x110000", "a.txt"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, message("bad option -p 0x110000"));
  EXPECT_EQ(r.status, 1);
  r = varnok({"--help"});
  EXPECT_EQ(as_text(r.out), USAGE);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
}

TEST_F(varnok_e2e, options_apply_to_every_file) {
  make_file("-x", hex("5C"));
  process_result r = varnok({"-y", "-p", "0x3013", "--", "-x", "bad.txt"});
  EXPECT_EQ(to_hex(r.out), "00 A5 00 41 30 13");
  EXPECT_EQ(r.status, 4);
}

TEST_F(varnok_e2e, large_input_streams_through) {
  std::string input, expected;
  for (int k = 0; k < 200000; ++k) {
    input += hex("93 FA 41");
    expected += hex("65 E5 00 41");
  }
  process_result r = varnok({"-"}, input);
  EXPECT_TRUE(r.out == expected);
  EXPECT_EQ(r.status, 0);
}

TEST_F(varnok_e2e, absolute_path_is_a_file_name) {
  if (windows_target()) GTEST_SKIP() << "a POSIX path convention";
  process_result r = varnok({directory + "/a.txt"});
  EXPECT_EQ(to_hex(r.out), "30 42 00 0A");
  EXPECT_EQ(r.status, 0);
}

// The audit names each input as it was opened, goes on over files whose losses leave the
// status 0, and keeps its lines before a later message; many lines are all written.
TEST_F(varnok_e2e, audit_reports_each_loss_of_each_file) {
  make_file("private.txt", hex("41 0A 41 F0 40 0A"));
  process_result r = varnok({"-w", "private.txt", "a.txt", "private.txt", "missing.txt"});
  EXPECT_EQ(to_hex(r.out), "00 41 00 0A 00 41 00 0A 30 42 00 0A 00 41 00 0A 00 41 00 0A");
  EXPECT_EQ(r.err, "private.txt:2:2: code 0xF040 has no character: dropped\n"
                   "private.txt:2:2: code 0xF040 has no character: dropped\n"
                   "missing.txt: No such file or directory\n");
  EXPECT_EQ(r.status, 1);
  r = varnok({"-uwp", "0x3013"}, hex("0A 80 81"));
  EXPECT_EQ(to_hex(r.out), "0A E3 80 93");
  EXPECT_EQ(r.err, "-:2:1: invalid byte 0x80: replaced\n-:2:2: input ends after lead byte 0x81: "
                   "dropped\n");
  EXPECT_EQ(r.status, 6);
  std::string many, lines;
  for (int k = 1; k <= 30000; ++k) {
    many += hex("80 0A");
    lines += "-:" + std::to_string(k) + ":1: invalid byte 0x80: dropped\n";
  }
  r = varnok({"-w"}, many);
  EXPECT_TRUE(r.err == lines) << r.err.size() << " bytes";
}

} // namespace
