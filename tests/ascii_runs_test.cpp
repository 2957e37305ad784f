#include "ascii_runs.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Runs of every length with one non-ASCII byte or unit at every position: the count must stop
// exactly there (or at the last whole block of 16), and the counted output must be right.
TEST(ascii_runs, widen_counts_and_writes_exactly_the_ascii_prefix) {
  for (size_t length = 0; length <= 48; ++length) {
    for (size_t bad = 0; bad <= length; ++bad) {
      std::vector<unsigned char> in(length);
      for (size_t k = 0; k < length; ++k) in[k] = static_cast<unsigned char>('A' + k % 26);
      if (bad < length) in[bad] = 0x82;
      for (bool little : {false, true}) {
        std::vector<unsigned char> out(2 * length + 64, 0xEE);
        size_t count = little ? widen_ascii<true>(in.data(), in.data() + length, out.data())
                              : widen_ascii<false>(in.data(), in.data() + length, out.data());
        size_t whole_blocks = length / 16 * 16;
        size_t expected = bad < whole_blocks ? bad : whole_blocks;
        ASSERT_EQ(count, expected) << length << " " << bad << " " << little;
        for (size_t k = 0; k < count; ++k) {
          EXPECT_EQ(out[2 * k + (little ? 0 : 1)], in[k]);
          EXPECT_EQ(out[2 * k + (little ? 1 : 0)], 0);
        }
      }
    }
  }
}

TEST(ascii_runs, narrow_counts_and_writes_exactly_the_ascii_prefix) {
  const unsigned non_ascii[] = {0x0080, 0x00FF, 0x0100, 0x3042, 0xFF41, 0x7F00};
  for (size_t units = 0; units <= 48; ++units) {
    for (size_t bad = 0; bad <= units; ++bad) {
      for (unsigned odd : non_ascii) {
        for (bool little : {false, true}) {
          std::vector<unsigned char> in(2 * units);
          for (size_t k = 0; k < units; ++k) {
            unsigned value = k == bad ? odd : 'a' + k % 26;
            in[2 * k + (little ? 0 : 1)] = static_cast<unsigned char>(value);
            in[2 * k + (little ? 1 : 0)] = static_cast<unsigned char>(value >> 8);
          }
          std::vector<unsigned char> out(units + 32, 0xEE);
          const unsigned char *end = in.data() + in.size();
          size_t count = little ? narrow_ascii<true>(in.data(), end, out.data())
                                : narrow_ascii<false>(in.data(), end, out.data());
          size_t whole_blocks = units / 16 * 16;
          size_t expected = bad < whole_blocks ? bad : whole_blocks;
          ASSERT_EQ(count, expected) << units << " " << bad << " " << odd << " " << little;
          for (size_t k = 0; k < count; ++k) EXPECT_EQ(out[k], 'a' + k % 26);
        }
      }
    }
  }
}

} // namespace
