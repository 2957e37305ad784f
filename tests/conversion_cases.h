// SPDX-License-Identifier: MIT
// Table-driven conversion cases: options, input bytes, expected output bytes and status.
#pragma once

#include "hex.h"
#include "in_memory.h"
#include "kernel_tiers.h"

#include <gtest/gtest.h>

#include <cstring>

struct conversion_case {
  const char *options; // as on the command line: "-dl", "-p 0x3013"
  const char *input;   // hexadecimal bytes
  const char *output;
  int status;
};

// Puts text in front of a case's input (after its byte order mark, if any) and its output, so
// that the case lies past the first blocks, where every tier's kernels work.
using case_padding = void (*)(const conversion_case &c, std::string &input, std::string &output);

// Scans the case's options on fresh tables and settings, then converts its input whole, read 1 to 5
// bytes at a time, and split at every position, on each kernel tier, and all of it again after
// the padding: every way must give the expected bytes and status.
inline void expect_conversion(const program_profile &profile, stream_converter convert,
                              void (*reset)(), const conversion_case &c, case_padding pad) {
  SCOPED_TRACE(std::string(c.options) + " [" + c.input + "]");
  reset(); // the tables and settings of a fresh process

  ASSERT_EQ(scan_option_words(profile, c.options), KEEP_RUNNING);
  std::string padded_input = hex(c.input), padded_output = hex(c.output);
  pad(c, padded_input, padded_output);
  const std::pair<std::string, std::string> ways[] = {{hex(c.input), hex(c.output)},
                                                      {padded_input, padded_output}};
  for (const auto &way : ways) {
    const std::string &input = way.first, expected = to_hex(way.second);
    for (const kernel_tier *tier : available_tiers()) {
      const tier_pin pin(*tier);
      auto check = [&](size_t largest_read, size_t split_at) {
        const converted result = convert_in_memory(convert, input, largest_read, split_at);
        EXPECT_EQ(to_hex(result.out), expected)
            << tier->name << ", " << input.size() << " bytes, reads of " << largest_read
            << ", split at " << split_at;
        EXPECT_EQ(result.status, c.status)
            << tier->name << ", " << input.size() << " bytes, reads of " << largest_read
            << ", split at " << split_at;
      };
      check(0, 0);
      for (size_t largest_read = 1; largest_read <= 5; ++largest_read) check(largest_read, 0);
      for (size_t split_at = 1; split_at < input.size(); ++split_at) check(0, split_at);
    }
  }
}

// The last of `letters` in the letter groups of `options` ("-dl", not the value after p), or
// '\0' when none is there: the one in force of letters that set one setting.
inline char last_letter(const char *options, const char *letters) {
  bool in_group = false;
  char last = '\0';
  for (const char *at = options; *at != '\0'; ++at) {
    if (at == options || at[-1] == ' ') in_group = *at == '-' && !(at[1] >= '0' && at[1] <= '9');
    if (in_group && *at != '-' && std::strchr(letters, *at) != nullptr) last = *at;
  }
  return last;
}
