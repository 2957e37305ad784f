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

// A text of `tokens` pieces drawn from `common` and, one time in `rare_every`, from `rare`.
std::string make_text(const std::vector<std::string> &common, const std::vector<std::string> &rare,
                      size_t tokens, unsigned rare_every, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  for (size_t k = 0; k < tokens; ++k) {
    const bool is_rare = !rare.empty() && random() % rare_every == 0;
    const std::vector<std::string> &pool = is_rare ? rare : common;
    text += pool[random() % pool.size()];
  }
  return text;
}

std::vector<std::string> hex_all(std::initializer_list<const char *> items) {
  std::vector<std::string> bytes;
  for (const char *item : items) bytes.push_back(hex(item));
  return bytes;
}

// Converts `text` with each kernel level (whole, and in reads of 4093 bytes), expecting what the
// portable level gives.
void expect_same_on_every_level(int (*convert)(input_stream &), const std::string &text) {
  converted reference;
  {
    const kernel_pin pin(kernel_level::portable);
    reference = convert_in_memory(convert, text);
  }
  for (kernel_level level : available_kernel_levels()) {
    const kernel_pin pin(level);
    for (size_t largest_read : {size_t{0}, size_t{4093}}) {
      const converted result = convert_in_memory(convert, text, largest_read);
      ASSERT_EQ(result.status, reference.status) << kernel_level_name(level) << " " << largest_read;
      ASSERT_TRUE(result.out == reference.out) << kernel_level_name(level) << " " << largest_read;
    }
  }
}

using kernels_decode = decode_fixture;

TEST_F(kernels_decode, every_level_decodes_as_the_portable_one) {
  const std::vector<std::string> common = hex_all({
      "41",    "61 62 63 20", "0A",    "B1",    "DF",    "A1",    "82 A0", "82 9F", "82 F1",
      "83 40", "83 7E",       "83 80", "83 96", "88 9F", "93 FA", "96 7B", "81 40", "81 5C",
      "87 40", "FA 40",       "ED 40", "E0 40", "FC 4B", "81 60", "5C",    "7E",    "EA A4",
  });
  const std::vector<std::string> rare = hex_all({
      "80",
      "A0",
      "FD",
      "FF",
      "81 0A",
      "81 7F",
      "81 FD",
      "F0 40",
      "85 40",
      "82 F2",
      "83 97",
      "81",
  });
  for (const char *options : {"", "-l", "-p 0x3013", "-d", "-yo", "-bl -p 0x1F363"}) {
    SCOPED_TRACE(options);
    reset_varnok_state();
    ASSERT_EQ(scan_option_words(varnok_profile, options), KEEP_RUNNING);
    for (unsigned seed = 1; seed <= 6; ++seed) {
      const std::string text = make_text(common, seed % 3 == 0 ? std::vector<std::string>{} : rare,
                                         seed * 6000, 200 * seed, seed);
      expect_same_on_every_level(decode_stream, text);
      expect_same_on_every_level(decode_stream, text + hex("82")); // ends after a lead byte
    }
  }
}

using kernels_encode = encode_fixture;

TEST_F(kernels_encode, every_level_encodes_as_the_portable_one) {
  const std::vector<std::string> common = hex_all({
      "00 41", "00 61 00 62 00 20",
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
      "00 7E", "00 A7",
  });
  const std::vector<std::string> rare = hex_all({
      "00 A9",
      "00 A5",
      "20 3E",
      "30 1C",
      "D8 3C DF 63",
      "DC 00",
      "D8 00 00 41",
      "00 3C",
      "00 26",
      "00 80",
      "F8 F0",
      "E0 00",
      "FF FE",
      "FF FF",
      "30 94",
      "30 F7",
  });
  for (const char *options : {"", "-m", "-x", "-p 0x3F", "-d", "-s", "-yr", "-L"}) {
    SCOPED_TRACE(options);
    reset();
    apply_dostrel_options(options);
    const bool little = std::string(options) == "-L";
    for (unsigned seed = 1; seed <= 6; ++seed) {
      std::string text = make_text(common, seed % 3 == 0 ? std::vector<std::string>{} : rare,
                                   seed * 6000, 200 * seed, seed);
      if (little)
        for (size_t k = 0; k + 1 < text.size(); k += 2) std::swap(text[k], text[k + 1]);
      expect_same_on_every_level(encode_stream, text);
      expect_same_on_every_level(encode_stream, hex("FE FF") + text + hex("D8"));
    }
  }
}

} // namespace
