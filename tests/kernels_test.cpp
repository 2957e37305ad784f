// SPDX-License-Identifier: MIT
// Every kernel level against the portable one, on long texts made of every kind of character
// the kernels treat differently (ASCII, halfwidth katakana, hiragana, katakana, kanji and
// symbols looked up in the tables), sprinkled with what they must leave to the rules (invalid
// bytes, unmapped codes, surrogates, markup, the characters variant letters change), across
// block and chunk boundaries and read in pieces.
#include "decode_fixture.h"
#include "encode_fixture.h"
#include "hex.h"
#include "kernel_levels.h"

#include <random>

namespace {

struct kernel_case {
  const program_profile &profile;
  int (*convert)(input_stream &);
  void (*reset)();
  std::vector<const char *> common, rare; // hexadecimal pieces of text
  std::vector<const char *> options;
  const char *tail; // ends the text inside a character
};

// Texts of 6,000 to 36,000 pieces, one in 200 to 1,200 rare (none in every third text), each
// with and without the tail, with each option group: every level converts them alike, whole and
// in reads of 4,093 bytes.
void expect_every_level_alike(const kernel_case &c) {
  for (const char *options : c.options) {
    SCOPED_TRACE(options);
    c.reset();
    ASSERT_EQ(scan_option_words(c.profile, options), KEEP_RUNNING);
    for (unsigned seed = 1; seed <= 6; ++seed) {
      std::mt19937 random(seed);
      std::string text;
      for (size_t k = 0; k < seed * 6000; ++k) {
        const bool rare = seed % 3 != 0 && random() % (200 * seed) == 0;
        const std::vector<const char *> &pool = rare ? c.rare : c.common;
        text += hex(pool[random() % pool.size()]);
      }
      for (const std::string &input : {text, text + hex(c.tail)})
        for (size_t largest_read : {size_t{0}, size_t{4093}})
          ASSERT_TRUE(same_on_every_level(c.convert, input, largest_read))
              << "seed " << seed << ", reads of " << largest_read;
    }
  }
}

using kernels_decode = decode_fixture;
using kernels_encode = encode_fixture;

TEST_F(kernels_decode, every_level_decodes_as_the_portable_one) {
  expect_every_level_alike({
      varnok_profile,
      decode_stream,
      reset_varnok_state,
      {"41",    "61 62 63 20", "0A",    "B1",    "DF",    "A1",    "82 A0", "82 9F", "82 F1",
       "83 40", "83 7E",       "83 80", "83 96", "88 9F", "93 FA", "96 7B", "81 40", "81 5C",
       "87 40", "FA 40",       "ED 40", "E0 40", "FC 4B", "81 60", "5C",    "7E",    "EA A4"},
      {"80", "A0", "FD", "FF", "81 0A", "81 7F", "81 FD", "F0 40", "85 40", "82 F2", "83 97", "81"},
      {"", "-l", "-p 0x3013", "-d", "-yo", "-bl -p 0x1F363"},
      "82",
  });
}

TEST_F(kernels_encode, every_level_encodes_as_the_portable_one) {
  // Read as UTF-16LE (-L) the same pieces become other characters, mostly unmapped ones.
  expect_every_level_alike({
      dostrel_profile,
      encode_stream,
      reset_dostrel_state,
      {"00 41", "00 61 00 62 00 20",
       "00 0A", "FF 71",
       "FF 9F", "FF 61",
       "30 42", "30 41",
       "30 93", "30 A1",
       "30 DF", "30 E0",
       "30 F6", "4E 9C",
       "65 E5", "67 2C",
       "30 01", "FF 3C",
       "21 60", "21 70",
       "FF 5E", "00 5C",
       "00 7E", "00 A7"},
      {"00 A9", "00 A5", "20 3E", "30 1C", "D8 3C DF 63", "DC 00", "D8 00 00 41", "00 3C", "00 26",
       "00 80", "F8 F0", "E0 00", "FF FE", "FF FF", "30 94", "30 F7"},
      {"", "-m", "-x", "-p 0x3F", "-d", "-s", "-yr", "-L"},
      "D8",
  });
}

} // namespace
