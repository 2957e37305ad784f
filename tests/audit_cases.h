// SPDX-License-Identifier: MIT
// Table-driven audit cases (w): options, input bytes, and the lines the audit must write for
// standard input ("-"), one per lost item.
#pragma once

#include "audit.h"
#include "hex.h"
#include "in_memory.h"
#include "kernel_tiers.h"

#include <gtest/gtest.h>

#include <string>

struct audit_case {
  const char *options; // without w, which the check adds
  const char *input;   // hexadecimal bytes
  const char *lines;   // "-:LINE:COLUMN: DESCRIPTION: ACTION\n" each
};

// How an input is laid out: the length of its byte order mark (kept first when padding) and the
// bytes of one ASCII character in its form.
struct audit_layout {
  size_t mark;
  std::string (*character)(char ascii);
};

// The expected lines when text ending in a line feed and `tail` more bytes goes in front of
// the input, after its mark of `mark` bytes: one line more, and `tail` bytes on the first.
inline std::string shifted_lines(const std::string &lines, size_t mark, size_t tail) {
  std::string shifted;
  size_t start = 0;
  while (start < lines.size()) {
    const size_t end = lines.find('\n', start) + 1;
    const std::string line = lines.substr(start, end - start);
    const size_t first = line.find(':'), second = line.find(':', first + 1),
                 third = line.find(':', second + 1);
    const size_t number = std::stoul(line.substr(first + 1, second - first - 1));
    size_t column = std::stoul(line.substr(second + 1, third - second - 1));
    if (number == 1) column = column - mark + tail;
    shifted += line.substr(0, first + 1) + std::to_string(number + 1) + ":" +
               std::to_string(column) + line.substr(third);
    start = end;
  }
  return shifted;
}

// Converts the case with and without w, whole, read 1 to 5 bytes at a time and split at every
// position, on each kernel tier, and again with a long line of text in front (after any mark):
// w must not change the output or status, and must write exactly the expected lines.
inline void expect_audit(const program_profile &profile, stream_converter convert, void (*reset)(),
                         const audit_case &c, audit_layout (*layout)(const audit_case &c)) {
  SCOPED_TRACE(std::string(c.options) + " [" + c.input + "]");
  const audit_layout form = layout(c);
  std::string padded = hex(c.input), pad;
  for (int k = 0; k < 100; ++k) pad += form.character('x');
  pad += form.character('\n');
  const size_t tail_start = pad.size();
  for (int k = 0; k < 50; ++k) pad += form.character('y');
  padded.insert(form.mark, pad);
  const std::pair<std::string, std::string> ways[] = {
      {hex(c.input), c.lines},
      {padded, shifted_lines(c.lines, form.mark, pad.size() - tail_start)}};
  for (const auto &way : ways) {
    const std::string &input = way.first, &lines = way.second;
    reset();
    ASSERT_EQ(scan_option_words(profile, c.options), KEEP_RUNNING);
    const converted plain = convert_in_memory(convert, input);
    EXPECT_EQ(plain.audit, "");
    reset();
    ASSERT_EQ(scan_option_words(profile, std::string(c.options) + " -w"), KEEP_RUNNING);
    for (const kernel_tier *tier : available_tiers()) {
      const tier_pin pin(*tier);
      auto check = [&](size_t largest_read, size_t split_at) {
        const converted result = convert_in_memory(convert, input, largest_read, split_at);
        const std::string where = std::string(tier->name) + ", " + std::to_string(input.size()) +
                                  " bytes, reads of " + std::to_string(largest_read) +
                                  ", split at " + std::to_string(split_at);
        EXPECT_EQ(result.audit, lines) << where;
        EXPECT_EQ(to_hex(result.out), to_hex(plain.out)) << where;
        EXPECT_EQ(result.status, plain.status) << where;
      };
      check(0, 0);
      for (size_t largest_read = 1; largest_read <= 5; ++largest_read) check(largest_read, 0);
      for (size_t split_at = 1; split_at < input.size(); ++split_at) check(0, split_at);
    }
  }
}
