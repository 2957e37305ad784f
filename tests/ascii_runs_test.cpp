// SPDX-License-Identifier: MIT
#include "ascii_runs.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using ascii_run = size_t (*)(const unsigned char *, const unsigned char *, unsigned char *);

// Every ASCII-run kernel this target has, the scalar reference first.
struct ascii_kernel_set {
  const char *name;
  ascii_run widen_big, widen_little, narrow_big, narrow_little;
};

const ascii_kernel_set KERNELS[] = {
    {"scalar", scalar::widen_ascii<false>, scalar::widen_ascii<true>, scalar::narrow_ascii<false>,
     scalar::narrow_ascii<true>},
#if defined(HAVE_SSE2_KERNELS)
    {"sse2", sse2::widen_ascii<false>, sse2::widen_ascii<true>, sse2::narrow_ascii<false>,
     sse2::narrow_ascii<true>},
#endif
};

// Runs of every length with one non-ASCII byte or unit at every position: the count must stop
// exactly there (or at the last whole block of 16), and the counted output must be right.
TEST(ascii_runs, widen_counts_and_writes_exactly_the_ascii_prefix) {
  for (const ascii_kernel_set &kernel : KERNELS) {
    SCOPED_TRACE(kernel.name);
    for (size_t length = 0; length <= 48; ++length) {
      for (size_t bad = 0; bad <= length; ++bad) {
        std::vector<unsigned char> in(length);
        for (size_t k = 0; k < length; ++k) in[k] = static_cast<unsigned char>('A' + k % 26);
        if (bad < length) in[bad] = 0x82;
        for (bool little : {false, true}) {
          std::vector<unsigned char> out(2 * length + ASCII_KERNEL_OVERHANG, 0xEE);
          const ascii_run widen = little ? kernel.widen_little : kernel.widen_big;
          size_t count = widen(in.data(), in.data() + length, out.data());
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
}

TEST(ascii_runs, narrow_counts_and_writes_exactly_the_ascii_prefix) {
  const unsigned non_ascii[] = {0x0080, 0x00FF, 0x0100, 0x3042, 0xFF41, 0x7F00};
  for (const ascii_kernel_set &kernel : KERNELS) {
    SCOPED_TRACE(kernel.name);
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
            std::vector<unsigned char> out(units + ASCII_KERNEL_OVERHANG, 0xEE);
            const ascii_run narrow = little ? kernel.narrow_little : kernel.narrow_big;
            size_t count = narrow(in.data(), in.data() + in.size(), out.data());
            size_t whole_blocks = units / 16 * 16;
            size_t expected = bad < whole_blocks ? bad : whole_blocks;
            ASSERT_EQ(count, expected) << units << " " << bad << " " << odd << " " << little;
            for (size_t k = 0; k < count; ++k) EXPECT_EQ(out[k], 'a' + k % 26);
          }
        }
      }
    }
  }
}

} // namespace
