// SPDX-License-Identifier: MIT
// Every code through the public path, against an independent converter (glibc iconv) for
// decoding and against the inverse of the mapping file for encoding.
#include "cp932_rows.h"
#include "decode_fixture.h"
#include "encode_fixture.h"
#include "in_memory.h"
#include "inverse_mapping.h"
#include "kernel_tiers.h"

#include <cstring>
#include <iconv.h>

#include <map>

namespace {

// glibc's CP932 to UTF-16BE or UTF-8, or nothing when it rejects the bytes.
bool iconv_decode(iconv_t converter, const std::string &bytes, std::string &utf16) {
  char in[2], out[8];
  std::memcpy(in, bytes.data(), bytes.size());
  char *in_ptr = in, *out_ptr = out;
  size_t in_left = bytes.size(), out_left = sizeof out;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  if (iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1) ||
      in_left != 0)
    return false;
  utf16.assign(out, sizeof out - out_left);
  return true;
}

using differential = decode_fixture;

// In UTF-16BE, and in UTF-8 with -u.
TEST_F(differential, every_code_decodes_as_glibc_iconv_does) {
  for (const char *form : {"UTF-16BE", "UTF-8"}) {
    SCOPED_TRACE(form);
    reset_varnok_state();
    ASSERT_EQ(scan_option_words(varnok_profile, std::strcmp(form, "UTF-8") == 0 ? "-u" : ""),
              KEEP_RUNNING);
    iconv_t converter = iconv_open(form, "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1))
      GTEST_SKIP() << "glibc iconv has no CP932 converter on this machine";
    int compared = 0, rejected = 0;
    for (unsigned code = 0; code <= 0xFCFC; ++code) {
      std::string bytes;
      if (code < 0x100) {
        if (is_cp932_lead_byte(code)) continue;
        bytes = std::string(1, static_cast<char>(code));
      } else {
        if (!is_cp932_lead_byte(code >> 8) || !is_cp932_trail_byte(code & 0xFF)) continue;
        bytes = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
      }
      const converted ours = convert_in_memory(decode_stream, bytes);
      const bool user_defined = code >= 0xF040 && code <= 0xF9FC;
      std::string theirs;
      if (!user_defined && iconv_decode(converter, bytes, theirs)) {
        EXPECT_EQ(ours.out, theirs) << std::hex << code;
        EXPECT_EQ(ours.status, 0) << std::hex << code;
        ++compared;
      } else {
        // Rejected by iconv (or the user-defined area, which stays unmapped here): nothing is
        // written; a single byte is invalid, a two-byte code merely unmapped.
        EXPECT_EQ(ours.out, "") << std::hex << code;
        EXPECT_EQ(ours.status, code < 0x100 ? STATUS_INVALID : 0) << std::hex << code;
        ++rejected;
      }
    }
    iconv_close(converter);
    EXPECT_EQ(compared, 7915);
    EXPECT_EQ(compared + rejected, 196 + 11280);
  }
}

// A BMP character in UTF-8, worked out here from the definition.
std::string utf8_of(unsigned character) {
  if (character < 0x80) return std::string(1, static_cast<char>(character));
  if (character < 0x800)
    return {static_cast<char>(0xC0 | character >> 6), static_cast<char>(0x80 | (character & 0x3F))};
  return {static_cast<char>(0xE0 | character >> 12),
          static_cast<char>(0x80 | ((character >> 6) & 0x3F)),
          static_cast<char>(0x80 | (character & 0x3F))};
}

// From UTF-16BE, and from UTF-8 with -u.
TEST_F(differential, every_bmp_character_encodes_by_the_inverse_rule) {
  const std::map<unsigned, unsigned> inverse = inverse_mapping();
  for (bool utf8 : {false, true}) {
    SCOPED_TRACE(utf8 ? "UTF-8" : "UTF-16BE");
    reset_dostrel_state();
    ASSERT_EQ(scan_option_words(dostrel_profile, utf8 ? "-u" : ""), KEEP_RUNNING);
    int mapped = 0;
    for (unsigned character = 0; character < 0x10000; ++character) {
      if (character >= 0xD800 && character <= 0xDFFF) continue;
      // A leading byte order mark would be taken as such: give the mark first.
      const std::string input = utf8 ? "\xEF\xBB\xBF" + utf8_of(character)
                                     : "\xFE\xFF" + std::string{static_cast<char>(character >> 8),
                                                                static_cast<char>(character)};
      const converted ours = convert_in_memory(encode_stream, input);
      std::string expected;
      auto found = inverse.find(character);
      if (found != inverse.end()) {
        ++mapped;
        if (found->second >= 0x100) expected += static_cast<char>(found->second >> 8);
        expected += static_cast<char>(found->second & 0xFF);
      }
      ASSERT_EQ(ours.out, expected) << std::hex << character;
      ASSERT_EQ(ours.status, 0);
    }
    EXPECT_EQ(mapped, 9402);
  }
  reset_dostrel_state();
}

} // namespace

namespace {

// c: the user-defined area 0xF040-0xF9FC decodes to U+E000-U+E757 and the bytes 0x80, 0xA0,
// 0xFD-0xFF to U+0080, U+F8F0-U+F8F3, as the inverse of the encode-only rows says, in every
// form and on every tier, with no status; dostrel gives every code back.
TEST_F(differential, c_decodes_what_dostrel_encodes_from_the_private_use_area) {
  const std::map<unsigned, unsigned> inverse = inverse_mapping();
  std::string codes, characters;
  for (const auto &[character, code] : inverse)
    if ((character >= 0xE000 && character <= 0xF8FF) || character == 0x80) {
      codes += code < 0x100 ? std::string(1, static_cast<char>(code))
                            : std::string{static_cast<char>(code >> 8), static_cast<char>(code)};
      characters += std::string{static_cast<char>(character >> 8), static_cast<char>(character)};
    }
  ASSERT_EQ(characters.size(), 2u * (1880 + 5));
  for (const kernel_tier *tier : available_tiers()) {
    SCOPED_TRACE(tier->name);
    const tier_pin pin(*tier);
    for (const char *options : {"-c", "-cu", "-cl"}) {
      reset_varnok_state();
      ASSERT_EQ(scan_option_words(varnok_profile, options), KEEP_RUNNING);
      const converted decoded = convert_in_memory(decode_stream, codes);
      EXPECT_EQ(decoded.status, 0) << options;
      if (std::string(options) == "-c") {
        EXPECT_TRUE(decoded.out == characters);
      }
      reset_dostrel_state();
      const std::string letters = std::string(options) == "-cu"   ? "-u"
                                  : std::string(options) == "-cl" ? "-L"
                                                                  : "";
      ASSERT_EQ(scan_option_words(dostrel_profile, letters), KEEP_RUNNING);
      const converted back = convert_in_memory(encode_stream, decoded.out);
      EXPECT_EQ(back.status, 0) << options;
      EXPECT_TRUE(back.out == codes) << options;
    }
  }
}

} // namespace
