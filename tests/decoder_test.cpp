// SPDX-License-Identifier: MIT
#include "audit_cases.h"
#include "conversion_cases.h"
#include "decode_fixture.h"

#include <string>
#include <vector>

namespace {

const conversion_case DECODE_CASES[] = {
    {"", "41 0A", "00 41 00 0A", 0},
    {"-l", "41 0A", "41 00 0A 00", 0},
    {"", "82 A0", "30 42", 0},
    {"-l", "82 A0", "42 30", 0},
    {"", "93 FA 96 7B 8C EA 0D 0A", "65 E5 67 2C 8A 9E 00 0D 00 0A", 0},
    {"", "B1 A1 DF", "FF 71 FF 61 FF 9F", 0},
    {"", "5C 7E 7C", "00 5C 00 7E 00 7C", 0},
    {"", "81 5F 81 60 81 61 81 7C", "FF 3C FF 5E 22 25 FF 0D", 0},
    {"", "81 91 81 CA 81 5C", "FF E0 FF E2 20 15", 0},
    {"-y", "5C 81 5F", "00 A5 FF 3C", 0},
    {"-ys", "5C 81 5F", "00 A5 00 5C", 0},
    {"-o", "7E", "20 3E", 0},
    {"-v", "7C", "00 7C", 0},
    {"-z", "81 8F", "00 A5", 0},
    {"-e", "81 5C", "20 14", 0},
    {"-d", "81 60 81 61 81 7C", "30 1C 20 16 22 12", 0},
    {"-f", "81 91 81 92 81 CA EE F9 FA 54", "00 A2 00 A3 00 AC FF E2 FF E2", 0},
    {"-j", "81 50", "20 3E", 0},
    {"-a", "81 63", "22 EF", 0},
    {"-k", "EE FA FA 55", "00 A6 00 A6", 0},
    {"", "FC 4B FC 4C", "9E D1", 0},
    // Invalid bytes: dropped or replaced, status 4.
    {"", "80", "", 4},
    {"-p 0x3013", "80", "30 13", 4},
    {"", "A0 FD FE FF 41", "00 41", 4},
    {"-p 0x10000", "80", "D8 00 DC 00", 4},
    {"-lp 0x10000", "80", "00 D8 00 DC", 4},
    {"-p 0x10FFFF", "80", "DB FF DF FF", 4},
    {"-p 0xD800", "80", "D8 00", 4},
    {"-p -1", "80", "FF FF", 4},
    {"-p -2147483648", "80", "00 00", 4},
    {"-lp 0x10FFFF", "80", "FF DB FF DF", 4},
    // A bad trail byte: an ASCII byte after a lead byte is decoded on its own.
    {"", "81 0A", "00 0A", 4},
    {"-p 0x3013", "81 0A", "30 13 00 0A", 4},
    {"", "81 20 81 3F 81 7F", "00 20 00 3F 00 7F", 4},
    {"", "81 81 A0", "FF 1D", 4},
    {"", "81 FD 41", "00 41", 4},
    {"-p 0x3013", "81 FE 81 FF", "30 13 30 13", 4},
    {"", "81 81 81", "FF 1D", 2},
    // With c, 0xFD-0xFF are characters: after a lead byte they are read on their own.
    {"-uc -p 0x3F", "81 FD", "3F EF A3 B1", 4},
    {"-c", "82 FE 82 FF 41", "F8 F2 F8 F3 00 41", 4},
    // Unmapped but well-formed codes: replaced or dropped, no status.
    {"", "F0 40 F9 FC 85 40", "", 0},
    {"-p 0x3013", "F0 40", "30 13", 0},
    // A lead byte at the end: nothing for it, not even the replacement.
    {"", "81", "", 2},
    {"-p 0x3013", "41 81", "00 41", 2},
    {"", "80 81", "", 6},
    {"", "", "", 0},
    // UTF-8 (u; the later of l and u wins): one to three bytes a table character, four for a
    // replacement beyond the BMP.
    {"-u", "41 0A 7E 5C", "41 0A 7E 5C", 0},
    {"-u", "82 A0 93 FA B1 81 60", "E3 81 82 E6 97 A5 EF BD B1 EF BD 9E", 0},
    {"-lu", "82 A0", "E3 81 82", 0},
    {"-ul", "82 A0", "42 30", 0},
    {"-u -l", "82 A0", "42 30", 0},
    {"-uyo", "5C 7E 41", "C2 A5 E2 80 BE 41", 0},
    {"-ud", "81 60", "E3 80 9C", 0},
    {"-u", "80 81 0A", "0A", 4},
    {"-u -p 0x3013", "80 F0 40 41", "E3 80 93 E3 80 93 41", 4},
    {"-u -p 0x1F363", "80", "F0 9F 8D A3", 4},
    {"-u -p 0", "80", "00", 4},
    {"-u -p 0x7F", "80", "7F", 4},
    {"-u -p 0x80", "80", "C2 80", 4},
    {"-u -p 0x10FFFF", "80", "F4 8F BF BF", 4},
    {"-u", "41 81", "41", 2},
};

// 70 bytes of "a" (U+0061, which no letter changes) in front of the case and 130 after it
// (unless it ends cut short), so that the case lies inside whole blocks.
void pad_with_letters(const conversion_case &c, std::string &input, std::string &output) {
  const char form = last_letter(c.options, "lu");
  const std::string unit = form == 'u'   ? std::string("a")
                           : form == 'l' ? std::string("a\0", 2)
                                         : std::string("\0a", 2);
  std::string units;
  for (int k = 0; k < 70; ++k) units += unit;
  input.insert(0, std::string(70, 'a'));
  output.insert(0, units);
  if ((c.status & STATUS_TRUNCATED) != 0) return;
  for (int k = 70; k < 130; ++k) units += unit;
  input += std::string(130, 'a');
  output += units;
}

// What varnok loses, each kind first in the input, after line feeds and in the middle of lines.
const audit_case DECODE_AUDIT_CASES[] = {
    {"", "41 0A 88 9F 0A", ""},
    {"", "80", "-:1:1: invalid byte 0x80: dropped\n"},
    {"-p 0x3013", "41 0A 42 A0 43 FD FE FF",
     "-:2:2: invalid byte 0xA0: replaced\n-:2:4: invalid byte 0xFD: replaced\n"
     "-:2:5: invalid byte 0xFE: replaced\n-:2:6: invalid byte 0xFF: replaced\n"},
    {"", "81 0A 81 0A", // the line feed after the lead byte still counts
     "-:1:1: lead byte 0x81 followed by 0x0A: dropped\n"
     "-:2:1: lead byte 0x81 followed by 0x0A: dropped\n"},
    {"-l -p 0x3F", "0A 41 82 FD 88 9F E0 20",
     "-:2:2: lead byte 0x82 followed by 0xFD: replaced\n"
     "-:2:6: lead byte 0xE0 followed by 0x20: replaced\n"},
    {"-u", "F0 40 0A 0A 88 9F F9 FC 85 40",
     "-:1:1: code 0xF040 has no character: dropped\n"
     "-:3:3: code 0xF9FC has no character: dropped\n"
     "-:3:5: code 0x8540 has no character: dropped\n"},
    {"-u -p 0x1F363", "41 0A 81", "-:2:1: input ends after lead byte 0x81: dropped\n"},
    {"-p 0x3013", "82 A0 80 F0 40 81",
     "-:1:3: invalid byte 0x80: replaced\n-:1:4: code 0xF040 has no character: replaced\n"
     "-:1:6: input ends after lead byte 0x81: dropped\n"},
};

audit_layout varnok_layout(const audit_case &) {
  return {0, [](char ascii) { return std::string(1, ascii); }};
}

using decoder = decode_fixture;

TEST_F(decoder, audits_each_loss_where_it_is) {
  for (const audit_case &c : DECODE_AUDIT_CASES)
    expect_audit(varnok_profile, decode_stream, reset_varnok_state, c, varnok_layout);
}

TEST_F(decoder, decodes_each_case_in_any_pieces) {
  for (const conversion_case &c : DECODE_CASES)
    expect_conversion(varnok_profile, decode_stream, reset_varnok_state, c, pad_with_letters);
}

// ASCII goes 16 bytes a step: a run of any length must hand over exactly at its end.
TEST_F(decoder, ascii_runs_end_exactly_where_other_characters_begin) {
  for (size_t length = 0; length <= 40; ++length) {
    std::string input, big;
    for (size_t k = 0; k < length; ++k) {
      const char letter = static_cast<char>('a' + k % 26);
      input += letter;
      big += std::string(1, '\0') + letter;
    }
    input += hex("82 A0 41");
    big += hex("30 42 00 41");
    EXPECT_EQ(to_hex(convert_in_memory(decode_stream, input).out), to_hex(big)) << length;
  }
}

TEST_F(decoder, long_input_spans_many_blocks) {
  // 300,001 bytes: 100,000 two-byte characters and ASCII with a lead byte at the very end.
  std::string input, expected;
  for (int k = 0; k < 100000; ++k) {
    input += hex("82 A0 41");
    expected += hex("30 42 00 41");
  }
  input += hex("81");
  for (size_t largest : {size_t{0}, size_t{4093}}) {
    converted result = convert_in_memory(decode_stream, input, largest);
    EXPECT_EQ(result.status, STATUS_TRUNCATED);
    EXPECT_TRUE(result.out == expected);
  }
}

} // namespace
