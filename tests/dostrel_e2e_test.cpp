// SPDX-License-Identifier: MIT
// Runs the built dostrel (and varnok, for the round trip) and checks bytes, messages, status.
#include "hex.h"
#include "program_test.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const char USAGE[] = "dostrel [-p code|-g] [-gxLuwyrzsoijevbdtfnavkqm] [--in-place] [files...]\n";

class dostrel_e2e : public program_test {
protected:
  void SetUp() override {
    start("DOSTREL");
    if (IsSkipped()) return;
    make_file("le.txt", hex("FF FE 42 30 0A 00"));
    make_file("plain.txt", hex("30 42 00 0A"));
    make_file("odd.txt", hex("00 41 00"));
  }
  process_result dostrel(const std::vector<std::string> &args, const std::string &input = "") {
    return run(args, input);
  }
};

TEST_F(dostrel_e2e, converts_standard_input) {
  process_result r = dostrel({"-x"}, hex("FE FF 30 42 00 A9 00 0A"));
  EXPECT_EQ(r.out, hex("82 A0") + "&#xa9;\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST_F(dostrel_e2e, byte_order_is_settled_anew_for_every_file) {
  process_result r = dostrel({"le.txt", "plain.txt"});
  EXPECT_EQ(to_hex(r.out), "82 A0 0A 82 A0 0A");
  EXPECT_EQ(r.status, 0);
  // With L the unmarked file is little-endian: 30 42 is U+4230, which has no code.
  r = dostrel({"-Lg", "le.txt", "plain.txt"});
  EXPECT_EQ(r.out, hex("82 A0 0A") + "&#16944;&#2560;");
  EXPECT_EQ(r.status, 0);
}

// An ill-formed UTF-8 sequence whose continuation would be a lead byte at the end of a block: the
// lead byte begins the next character (the attack that once crashed the AVX-512 reader).
TEST_F(dostrel_e2e, ill_formed_utf8_before_a_lead_byte_at_a_block_end) {
  std::string hiragana;
  for (int k = 0; k < 20; ++k) hiragana += hex("E3 81 82");
  process_result r = dostrel({"-u"}, std::string(62, 'a') + hex("CE D1 81") + "z");
  EXPECT_EQ(r.out, std::string(62, 'a') + hex("84 83") + "z");
  EXPECT_EQ(r.status, 4);
  r = dostrel({"-u"}, hiragana + hex("E3 81 E3 81 82") + "A");
  std::string expected;
  for (int k = 0; k < 21; ++k) expected += hex("82 A0");
  EXPECT_EQ(r.out, expected + "A");
  EXPECT_EQ(r.status, 4);
}

TEST_F(dostrel_e2e, truncated_input_stops_the_run) {
  process_result r = dostrel({"odd.txt", "plain.txt"});
  EXPECT_EQ(to_hex(r.out), "41");
  EXPECT_EQ(r.status, 2);
  r = dostrel({}, hex("00 41 D8 00"));
  EXPECT_EQ(to_hex(r.out), "41");
  EXPECT_EQ(r.status, 2);
}

TEST_F(dostrel_e2e, bad_options_and_files) {
  process_result r = dostrel({"-gQ"});
  EXPECT_EQ(as_text(r.out), USAGE);
  EXPECT_EQ(r.err, message("bad option Q"));
  EXPECT_EQ(r.status, 1);
  r = dostrel({"-p", "0x10000"});
  EXPECT_EQ(r.err, message("bad option -p 0x10000"));
  EXPECT_EQ(r.status, 1);
  r = dostrel({"-?"});
  EXPECT_EQ(as_text(r.out), USAGE);
  EXPECT_EQ(r.status, 1);
  r = dostrel({"plain.txt", "missing.txt"});
  EXPECT_EQ(to_hex(r.out), "82 A0 0A");
  EXPECT_EQ(r.err, "missing.txt: No such file or directory\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(dostrel_e2e, round_trip_with_varnok_gives_the_file_back) {
  std::string varnok = program_from_environment("VARNOK");
  if (varnok.empty()) GTEST_SKIP() << "VARNOK names no program";
  std::string cp932;
  for (unsigned byte = 0x20; byte < 0x7F; ++byte) cp932 += static_cast<char>(byte);
  for (unsigned byte = 0xA1; byte <= 0xDF; ++byte) cp932 += static_cast<char>(byte);
  cp932 += hex("0D 0A 93 FA 96 7B 8C EA 81 60 81 5F 87 40 FA 40 FC 4B 0A");
  for (const char *form : {"", "-l", "-u"}) {
    std::vector<std::string> varnok_args = {"-b"};
    if (*form != '\0') varnok_args.push_back(form);
    process_input how;
    how.bytes = cp932;
    process_result unicode = run_process(varnok, varnok_args, how);
    ASSERT_EQ(unicode.status, 0) << unicode.err;
    process_result back = dostrel({"-u"}, unicode.out); // UTF-16 by its mark, or UTF-8
    EXPECT_EQ(to_hex(back.out), to_hex(cp932)) << form;
    EXPECT_EQ(back.status, 0);
  }
}

// With u every input settles its own form: a UTF-16 mark, the UTF-8 mark (skipped), or UTF-8.
TEST_F(dostrel_e2e, utf8_input_with_marks_of_every_kind) {
  make_file("utf8.txt", hex("E3 81 82 0A"));
  make_file("bom.txt", hex("EF BB BF E3 81 82 0A"));
  make_file("cp932.txt", hex("82 A0 0A"));
  process_result r = dostrel({"-u", "le.txt", "plain.txt", "utf8.txt", "bom.txt"});
  // plain.txt has no mark: UTF-8, so 30 42 is "0B" and 00 0A two controls.
  EXPECT_EQ(to_hex(r.out), "82 A0 0A 30 42 00 0A 82 A0 0A 82 A0 0A");
  EXPECT_EQ(r.status, 0);
  // CP932 given as UTF-8 by mistake never passes with status 0: 82 and A0 are broken
  // characters (status 4); the run ends after that input.
  r = dostrel({"-u", "-p", "0x3F", "cp932.txt", "utf8.txt"});
  EXPECT_EQ(to_hex(r.out), "3F 3F 0A");
  EXPECT_EQ(r.status, 4);
  r = dostrel({"-u"}, hex("80 E3 81"));
  EXPECT_EQ(to_hex(r.out), "");
  EXPECT_EQ(r.status, 6);
}

// Every input's form is its own: positions count bytes, the mark included.
TEST_F(dostrel_e2e, audit_reports_each_loss_of_each_file) {
  make_file("e8.txt", hex("C3 A9 0A 41 C3 A9"));
  make_file("e16.txt", hex("FE FF 00 E9"));
  process_result r = dostrel({"-uwp", "0x3F", "e8.txt", "e16.txt"});
  EXPECT_EQ(as_text(r.out), "?\nA??");
  EXPECT_EQ(r.err, "e8.txt:1:1: U+00E9 has no code: replaced\n"
                   "e8.txt:2:2: U+00E9 has no code: replaced\n"
                   "e16.txt:1:3: U+00E9 has no code: replaced\n");
  EXPECT_EQ(r.status, 0);
  r = dostrel({"-w", "odd.txt", "plain.txt"});
  EXPECT_EQ(r.err, "odd.txt:1:3: input ends inside a character: dropped\n");
  EXPECT_EQ(r.status, 2);
}

} // namespace
