// SPDX-License-Identifier: MIT
#include "audit_cases.h"
#include "conversion_cases.h"
#include "cp932_decode.h"
#include "cp932_rows.h"
#include "decode.h"
#include "encode_fixture.h"

namespace {

const conversion_case ENCODE_CASES[] = {
    // Byte order marks, looked for in the first two bytes only.
    {"", "", "", 0},
    {"", "FE FF", "", 0},
    {"", "FF FE 41 00", "41", 0},
    {"", "00 41", "41", 0},
    {"-L", "00 41", "", 0},
    {"-Lg", "00 41", "26 23 31 36 36 34 30 3B", 0},
    {"-L", "41 00 42 30", "41 82 A0", 0},
    {"-L", "FE FF 00 41", "41", 0},
    {"", "30 42 00 0A", "82 A0 0A", 0},
    {"", "FE FF FE FF 00 41", "41", 0},
    {"-x", "FE FF FE FF 00 41", "26 23 78 66 65 66 66 3B 41", 0},
    {"-x", "FE FF FF FE", "26 23 78 66 66 66 65 3B", 0},
    // Truncation: an odd byte, or a high surrogate, at the end.
    {"", "00 41 00", "41", 2},
    {"", "41", "", 2},
    {"-p 0x3F", "D8 00", "", 2},
    {"-p 0x3F", "00 41 D8 00 DC", "41", 2},
    {"-p 0x3F", "FE FF D8", "", 2},
    // Surrogates.
    {"", "D8 00 DC 00", "", 0},
    {"-p 0x3F", "D8 00 DC 00", "3F", 0},
    {"-g", "D8 00 DC 00", "", 0},
    {"-x -p 0x3F", "DB FF DF FF", "3F", 0},
    {"", "DC 00 00 41", "41", 0},
    {"-p 0x3F", "DC 00 00 41", "3F 41", 0},
    {"-p 0x3F", "D8 00 00 41", "3F 41", 0},
    {"-gp 0x3F", "D8 00 00 A9", "3F 26 23 31 36 39 3B", 0},
    {"", "D8 00 D8 00 DC 00 00 41", "41", 0},
    {"-p 0x3F", "D8 00 D8 00 DC 00 00 41", "3F 3F 3F 41", 0},
    {"-x", "DC 00 D8 00 DB FF 00 41", "41", 0},
    {"-p 0x8148", "DC 00", "81 48", 0},
    {"-m -p 0x26", "DC 00", "26", 0},
    // What a character yields.
    {"", "00 41 30 42 4E 00 00 00", "41 82 A0 88 EA 00", 0},
    {"", "00 A9", "", 0},
    {"-p 0x3F", "00 A9", "3F", 0},
    {"-g", "00 A9", "26 23 31 36 39 3B", 0},
    {"-x", "00 A9", "26 23 78 61 39 3B", 0},
    {"-gp 0x3F", "00 A9", "26 23 31 36 39 3B", 0},
    {"-xp 0x3F", "00 A9", "26 23 78 61 39 3B", 0},
    {"-gx", "FF FF", "26 23 78 66 66 66 66 3B", 0},
    {"-xg", "FF FF", "26 23 36 35 35 33 35 3B", 0},
    {"-g", "00 00 00 09", "00 09", 0},
    {"-p 0x8148", "00 A9 20 AC", "81 48 81 48", 0},
    {"-p 0", "00 A9", "00", 0},
    {"-p 0xFF", "00 A9", "FF", 0},
    {"-p 0x100", "00 A9", "01 00", 0},
    {"-p 0xFFFF", "00 A9", "FF FF", 0},
    {"-p -1", "00 A9", "FF FF", 0},
    {"-p -2147483648", "00 A9", "00 00", 0},
    {"-m", "00 3C 00 26 00 22 00 3E 00 27",
     "26 6C 74 3B 26 61 6D 70 3B 26 71 75 6F 74 3B 26 67 74 3B 27", 0},
    {"-mg", "00 3C 00 A9", "26 6C 74 3B 26 23 31 36 39 3B", 0},
    {"-mx", "00 26", "26 61 6D 70 3B", 0},
    {"-m -p 0x26", "00 A9", "26", 0},
    {"-rg", "00 5C", "26 23 39 32 3B", 0},
    {"-r", "00 5C", "", 0},
    {"-r -p 0x3F", "00 5C", "3F", 0},
    {"-yg", "00 A5 00 5C", "5C 5C", 0},
    {"-q", "21 63 21 64 21 69 22 35", "FA 4D FA 4E FA 53 81 E6", 0},
    {"-d", "30 1C 20 16 22 12 FF 5E", "81 60 81 61 81 7C 81 60", 0},
    {"-t", "FF 5E 22 25 FF 0D 30 1C", "", 0},
    {"", "00 80 F8 F0 F8 F3 E0 00 E7 57 E7 58", "80 A0 FF F0 40 F9 FC", 0},
    // UTF-8 (u; the later of L and u wins), unless a UTF-16 byte order mark begins the input.
    {"-u", "", "", 0},
    {"-u", "41 E3 81 82 0A E6 97 A5", "41 82 A0 0A 93 FA", 0},
    {"-Lu", "41 00", "41 00", 0},
    {"-uL", "41 00", "41", 0},
    {"-u", "EF BB BF 41", "41", 0},
    {"-u", "EF BB BF EF BB BF 41", "41", 0},
    {"-ux", "EF BB BF EF BB BF", "26 23 78 66 65 66 66 3B", 0},
    {"-u", "FE FF 00 41 30 42", "41 82 A0", 0},
    {"-u", "FF FE 41 00 42 30", "41 82 A0", 0},
    {"-u -p 0x3F", "FE FF D8 00", "", 2},
    {"-ug", "C2 A9 F0 9F 98 80", "26 23 31 36 39 3B", 0},
    {"-u -p 0x3F", "F0 9F 98 80", "3F", 0},
    {"-um", "3C 26 22", "26 6C 74 3B 26 61 6D 70 3B 26 71 75 6F 74 3B", 0},
    {"-uy", "C2 A5 5C", "5C 5C", 0},
    {"-ur", "5C 41", "41", 0},
    {"-us", "5C", "81 5F", 0},
    // Ill-formed UTF-8: each maximal subpart one broken character, dropped or the p code,
    // never a reference; status 4. A well-formed prefix at the end is dropped; status 2.
    {"-u", "FE", "", 4},
    {"-u -p 0x3F", "FF", "3F", 4},
    {"-u", "EF", "", 2},
    {"-u", "EF BB", "", 2},
    {"-u -p 0x3F", "E3 81 41", "3F 41", 4},
    {"-u -p 0x3F", "ED A0 80", "3F 3F 3F", 4},
    {"-u -p 0x3F", "F0 80 80", "3F 3F 3F", 4},
    {"-u -p 0x3F", "C0 AF", "3F 3F", 4},
    {"-u -p 0x3F", "80", "3F", 4},
    {"-u -p 0x3F", "F4 90 80 80", "3F 3F 3F 3F", 4},
    {"-u -p 0x3F", "E0 80 AF", "3F 3F 3F", 4},
    {"-ugp 0x3F", "80 C2", "3F", 6},
    {"-ux", "82 A0", "", 4},
    {"-u -p 0x3F", "41 E3 81", "41", 2},
    {"-u -p 0x3F", "F0 9F 98", "", 2},
};

// How an input read with `options` is laid out: the length of its byte order mark (the mark's
// form wins), and the bytes of an ASCII character in its form.
audit_layout input_layout(const char *options, const std::string &input) {
  if (input.rfind(hex("FE FF"), 0) == 0) return {2, [](char a) { return std::string{0, a}; }};
  if (input.rfind(hex("FF FE"), 0) == 0) return {2, [](char a) { return std::string{a, 0}; }};
  const char form = last_letter(options, "Lu");
  if (form == 'u') {
    const size_t mark = input.rfind(hex("EF BB BF"), 0) == 0 ? 3 : 0;
    return {mark, [](char a) { return std::string(1, a); }};
  }
  if (form == 'L') return {0, [](char a) { return std::string{a, 0}; }};
  return {0, [](char a) { return std::string{0, a}; }};
}

// 70 characters "a" (U+0061, which no letter changes) in front of the case, after its byte
// order mark, and 130 after it (unless it ends cut short), in the form the input is read in,
// so that the case lies inside whole blocks.
void pad_with_letters(const conversion_case &c, std::string &input, std::string &output) {
  const audit_layout layout = input_layout(c.options, input);
  std::string units;
  for (int k = 0; k < 70; ++k) units += layout.character('a');
  input.insert(layout.mark, units);
  output.insert(0, std::string(70, 'a'));
  if ((c.status & STATUS_TRUNCATED) != 0) return;
  for (int k = 70; k < 130; ++k) units += layout.character('a');
  input += units;
  output += std::string(130, 'a');
}

// What dostrel loses, in every input form, first, after marks and line feeds, mid-line.
const audit_case ENCODE_AUDIT_CASES[] = {
    {"", "00 41 00 0A 30 42", ""},
    {"", "00 E9", "-:1:1: U+00E9 has no code: dropped\n"},
    {"-p 0x3F", "FE FF 00 E9 00 0A 00 41 FF FD",
     "-:1:3: U+00E9 has no code: replaced\n-:2:3: U+FFFD has no code: replaced\n"},
    {"", "0A 00 00 E9", // the unit 0x0A00 is no line feed in big-endian input
     "-:1:1: U+0A00 has no code: dropped\n-:1:3: U+00E9 has no code: dropped\n"},
    {"-L", "0A 00 E9 00 00 DC",
     "-:2:1: U+00E9 has no code: dropped\n"
     "-:2:3: lone surrogate 0xDC00: dropped\n"},
    {"", "D8 00 D8 00 DC 00",
     "-:1:1: lone surrogate 0xD800: dropped\n-:1:3: lone surrogate 0xD800: dropped\n"
     "-:1:5: lone surrogate 0xDC00: dropped\n"},
    {"-p 0x8148", "D8 00 00 E9 00 0A D8 3D DE 00",
     "-:1:1: lone surrogate 0xD800: replaced\n-:1:3: U+00E9 has no code: replaced\n"
     "-:2:1: U+1F600 is beyond the BMP: replaced\n"},
    {"-g", "00 E9 D8 3D DE 00", "-:1:3: U+1F600 is beyond the BMP: dropped\n"},
    {"-x -m", "00 3C 00 E9 DB FF DF FF", "-:1:5: U+10FFFF is beyond the BMP: dropped\n"},
    {"-m", "00 3C 00 E9", "-:1:3: U+00E9 has no code: dropped\n"},
    {"-p 0x3F", "00 41 00", "-:1:3: input ends inside a character: dropped\n"},
    {"-L", "0A 00 00 D8", "-:2:1: input ends inside a character: dropped\n"},
    {"", "41", "-:1:1: input ends inside a character: dropped\n"},
    {"-u", "E3 81 41 0A ED A0 80",
     "-:1:1: invalid UTF-8 0xE3 0x81: dropped\n-:2:1: invalid UTF-8 0xED: dropped\n"
     "-:2:2: invalid UTF-8 0xA0: dropped\n-:2:3: invalid UTF-8 0x80: dropped\n"},
    {"-u -p 0x3F", "EF BB BF C3 A9 F0 9F 98 80 C0 AF",
     "-:1:4: U+00E9 has no code: replaced\n-:1:6: U+1F600 is beyond the BMP: replaced\n"
     "-:1:10: invalid UTF-8 0xC0: replaced\n-:1:11: invalid UTF-8 0xAF: replaced\n"},
    {"-u", "FF FE 0A 00 E9 00", "-:2:1: U+00E9 has no code: dropped\n"},
    {"-u", "FE 0A F0 80 80",
     "-:1:1: invalid UTF-8 0xFE: dropped\n"
     "-:2:1: invalid UTF-8 0xF0: dropped\n"
     "-:2:2: invalid UTF-8 0x80: dropped\n"
     "-:2:3: invalid UTF-8 0x80: dropped\n"},
    {"-u", "41 E3 81", "-:1:2: input ends inside a character: dropped\n"},
    {"-u -p 0x3F", "EF", "-:1:1: input ends inside a character: dropped\n"},
};

audit_layout dostrel_layout(const audit_case &c) {
  return input_layout(c.options, hex(c.input));
}

using encoder = encode_fixture;

TEST_F(encoder, audits_each_loss_where_it_is) {
  for (const audit_case &c : ENCODE_AUDIT_CASES)
    expect_audit(dostrel_profile, encode_stream, reset_dostrel_state, c, dostrel_layout);
}

TEST_F(encoder, encodes_each_case_in_any_pieces) {
  for (const conversion_case &c : ENCODE_CASES)
    expect_conversion(dostrel_profile, encode_stream, reset_dostrel_state, c, pad_with_letters);
}

// ASCII goes 16 units a step: a run of any length must hand over exactly at its end.
TEST_F(encoder, ascii_runs_end_exactly_where_other_characters_begin) {
  for (size_t length = 0; length <= 40; ++length) {
    std::string big = hex("FE FF"), little = hex("FF FE"), expected;
    for (size_t k = 0; k < length; ++k) {
      const char letter = static_cast<char>('a' + k % 26);
      big += std::string(1, '\0') + letter;
      little += std::string(1, letter) + '\0';
      expected += letter;
    }
    big += hex("30 42 00 41");
    little += hex("42 30 41 00");
    expected += hex("82 A0 41");
    EXPECT_EQ(to_hex(convert_in_memory(encode_stream, big).out), to_hex(expected)) << length;
    EXPECT_EQ(to_hex(convert_in_memory(encode_stream, little).out), to_hex(expected)) << length;
  }
}

TEST_F(encoder, long_input_spans_many_blocks) {
  // Odd block sizes put the mark, units and surrogate pairs across every kind of boundary.
  std::string input = hex("FF FE"), expected;
  for (int k = 0; k < 60000; ++k) {
    input += hex("42 30 41 00 00 D8 00 DC 3C 00");
    expected += hex("82 A0 41 3F 26 6C 74 3B");
  }
  input += hex("00 D8");
  apply_dostrel_options("-m -p 0x3F");
  for (size_t largest : {size_t{0}, size_t{4093}, size_t{65537}}) {
    converted result = convert_in_memory(encode_stream, input, largest);
    EXPECT_EQ(result.status, STATUS_TRUNCATED);
    EXPECT_TRUE(result.out == expected) << largest;
  }
}

// Every code varnok decodes comes back through dostrel unchanged, but for the codes that are
// not their character's chosen code.
TEST_F(encoder, decoded_codes_come_back_but_the_non_chosen_ones) {
  auto not_chosen = [](unsigned code) {
    return (code >= 0xED40 && code <= 0xEEFC) || (code >= 0xFA4A && code <= 0xFA54) ||
           (code >= 0xFA58 && code <= 0xFA5B) || (code >= 0x8790 && code <= 0x8792) ||
           (code >= 0x8795 && code <= 0x8797) || (code >= 0x879A && code <= 0x879C);
  };
  reset_varnok_state(); // the decoder prepared as varnok prepares it
  int round_trips = 0, changed = 0;
  for (unsigned code = 0; code <= 0xFCFF; ++code) {
    std::string bytes;
    if (code < 0x100) {
      if (code >= 0x81 && cp932_single[code] == LEAD_BYTE_MARK) continue;
      if (cp932_single[code] == INVALID_BYTE_MARK) continue;
      bytes = std::string(1, static_cast<char>(code));
    } else {
      if (code < DOUBLE_FIRST_CODE || double_entry(code) == UNMAPPED_CODE) continue;
      if (!is_cp932_trail_byte(code & 0xFF)) continue;
      bytes = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    }
    const converted utf16 = convert_in_memory(decode_stream, bytes);
    ASSERT_EQ(utf16.status, 0);
    converted back = convert_in_memory(encode_stream, utf16.out);
    ASSERT_EQ(back.status, 0);
    if (back.out == bytes) {
      ++round_trips;
    } else {
      ++changed;
      EXPECT_TRUE(not_chosen(code)) << std::hex << code << " came back as " << to_hex(back.out);
    }
  }
  EXPECT_EQ(changed, 398);
  EXPECT_EQ(round_trips + changed, 7915);
}

} // namespace
