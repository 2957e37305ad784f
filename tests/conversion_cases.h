// SPDX-License-Identifier: MIT
// Table-driven conversion cases: options, input bytes, expected output bytes and status.
#pragma once

#include "hex.h"
#include "in_memory.h"
#include "kernel_tiers.h"

#include <gtest/gtest.h>

struct conversion_case {
  const char *options; // as on the command line: "-dl", "-p 0x3013"
  const char *input;   // hexadecimal bytes
  const char *output;
  int status;
};

// Scans the case's options on fresh tables and settings, then converts its input whole, read 1 to 5
// bytes at a time, and split at every position, on each kernel tier: every way must give the
// expected bytes and status.
inline void expect_conversion(const program_profile &profile, int (*convert)(input_stream &),
                              void (*reset)(), const conversion_case &c) {
  SCOPED_TRACE(std::string(c.options) + " [" + c.input + "]");
  reset(); // the tables and settings of a fresh process

  ASSERT_EQ(scan_option_words(profile, c.options), KEEP_RUNNING);
  const std::string input = hex(c.input);
  const std::string expected = to_hex(hex(c.output));
  for (const kernel_tier *tier : available_tiers()) {
    const tier_pin pin(*tier);
    auto check = [&](size_t largest_read, size_t split_at) {
      const converted result = convert_in_memory(convert, input, largest_read, split_at);
      EXPECT_EQ(to_hex(result.out), expected)
          << tier->name << ", reads of " << largest_read << ", split at " << split_at;
      EXPECT_EQ(result.status, c.status)
          << tier->name << ", reads of " << largest_read << ", split at " << split_at;
    };
    check(0, 0);
    for (size_t largest_read = 1; largest_read <= 5; ++largest_read) check(largest_read, 0);
    for (size_t split_at = 1; split_at < input.size(); ++split_at) check(0, split_at);
  }
}
