// SPDX-License-Identifier: MIT
#include "ascii_runs.h"
#if defined(__x86_64__) && defined(__GNUC__)
#include "avx2/ascii_runs.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using widen_run = size_t (*)(const unsigned char *, const unsigned char *, unsigned char *,
                             const ascii_patches &);
using narrow_run = size_t (*)(const unsigned char *, const unsigned char *, unsigned char *,
                              const ascii_stops &);
using copy_run = narrow_run;
using copy_patched_run = size_t (*)(const unsigned char *, const unsigned char *,
                                    const unsigned char *, unsigned char *&, const ascii_patches &);
constexpr unicode_form BIG = unicode_form::utf16_big, LITTLE = unicode_form::utf16_little;

// Every ASCII-run kernel this target has, the scalar reference first.
struct ascii_kernel_set {
  const char *name;
  widen_run widen_big, widen_little;
  narrow_run narrow_big, narrow_little;
  copy_run copy;
  copy_patched_run copy_patched;
};

const ascii_kernel_set KERNELS[] = {
    {"scalar", scalar::widen_ascii<BIG>, scalar::widen_ascii<LITTLE>, scalar::narrow_ascii<BIG>,
     scalar::narrow_ascii<LITTLE>, scalar::copy_ascii, scalar::copy_patched_ascii},
#if defined(HAVE_SSE2_KERNELS)
    {"sse2", sse2::widen_ascii<BIG>, sse2::widen_ascii<LITTLE>, sse2::narrow_ascii<BIG>,
     sse2::narrow_ascii<LITTLE>, sse2::copy_ascii, sse2::copy_patched_ascii},
#endif
};

// The letters y and o of varnok; the markup characters and the letter r of dostrel.
const ascii_patches PATCHES = {
    2,
    {0x5C, 0x7E},
    {0x00A5, 0x203E},
    {0xC2 | 0xA5 << 8 | 2 << 24, 0xE2 | 0x80 << 8 | 0xBE << 16 | 3 << 24}};
const ascii_stops STOPS = {5, {0x22, 0x26, 0x3C, 0x3E, 0x5C}, {}};

// Runs of every length with one non-ASCII byte or unit at every position: the count must stop
// exactly there (or at the last whole block of 16), and the counted output must be right.
// The patches (y, o) are written in place; the stops (markup, r) end a run like non-ASCII.
TEST(ascii_runs, widen_counts_and_writes_exactly_the_ascii_prefix) {
  for (const ascii_kernel_set &kernel : KERNELS) {
    SCOPED_TRACE(kernel.name);
    for (size_t length = 0; length <= 48; ++length) {
      for (size_t bad = 0; bad <= length; ++bad) {
        std::vector<unsigned char> in(length);
        for (size_t k = 0; k < length; ++k) in[k] = "AB\\C~D"[k % 6];
        if (bad < length) in[bad] = 0x82;
        for (bool little : {false, true}) {
          std::vector<unsigned char> out(2 * length + ASCII_KERNEL_OVERHANG, 0xEE);
          const widen_run widen = little ? kernel.widen_little : kernel.widen_big;
          size_t count = widen(in.data(), in.data() + length, out.data(), PATCHES);
          size_t whole_blocks = length / 16 * 16;
          size_t expected = bad < whole_blocks ? bad : whole_blocks;
          ASSERT_EQ(count, expected) << length << " " << bad << " " << little;
          for (size_t k = 0; k < count; ++k) {
            const unsigned unit = in[k] == 0x5C ? 0x00A5 : in[k] == 0x7E ? 0x203E : in[k];
            EXPECT_EQ(out[2 * k + (little ? 0 : 1)], unit & 0xFF);
            EXPECT_EQ(out[2 * k + (little ? 1 : 0)], unit >> 8);
          }
        }
      }
    }
  }
}

TEST(ascii_runs, narrow_counts_and_writes_exactly_the_ascii_prefix) {
  const unsigned non_ascii[] = {0x0080, 0x00FF, 0x0100, 0x3042, 0xFF41, 0x7F00, 0x3C, 0x5C};
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
            const narrow_run narrow = little ? kernel.narrow_little : kernel.narrow_big;
            size_t count = narrow(in.data(), in.data() + in.size(), out.data(), STOPS);
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

// UTF-8 to UTF-8 (varnok -u): the bytes as they are, up to a non-ASCII byte or a byte the
// letters changed (a stop).
TEST(ascii_runs, copy_counts_and_writes_exactly_the_ascii_prefix) {
  const ascii_stops patched = {2, {0x5C, 0x7E}, {}};
  for (const ascii_kernel_set &kernel : KERNELS) {
    SCOPED_TRACE(kernel.name);
    for (size_t length = 0; length <= 48; ++length)
      for (size_t bad = 0; bad <= length; ++bad)
        for (unsigned char odd : {0x80, 0xFF, 0x5C, 0x7E}) {
          std::vector<unsigned char> in(length);
          for (size_t k = 0; k < length; ++k) in[k] = static_cast<unsigned char>('a' + k % 26);
          if (bad < length) in[bad] = odd;
          std::vector<unsigned char> out(length + ASCII_KERNEL_OVERHANG, 0xEE);
          const size_t count = kernel.copy(in.data(), in.data() + length, out.data(), patched);
          const size_t whole_blocks = length / 16 * 16;
          ASSERT_EQ(count, bad < whole_blocks ? bad : whole_blocks) << length << " " << bad;
          for (size_t k = 0; k < count; ++k) EXPECT_EQ(out[k], in[k]);
        }
  }
}

// CP932 to UTF-8 with y and o, each alone and both (varnok -uy, -uo, -uyo), and with two
// letters whose characters differ in their last byte only: the patched bytes written as their
// characters' UTF-8 inside the run, which stops only at a byte beyond ASCII (or short of a
// last block); with input that ends at the run, and with input readable past it; patched
// bytes dense, and a few to a block.
TEST(ascii_runs, copy_patched_writes_the_patched_bytes_in_the_run) {
  std::vector<std::pair<const char *, copy_patched_run>> kernels;
  for (const ascii_kernel_set &kernel : KERNELS)
    kernels.emplace_back(kernel.name, kernel.copy_patched);
#if defined(AVX2_TIER_BUILT)
  if (__builtin_cpu_supports("avx2"))
    kernels.emplace_back("avx2", [](const unsigned char *from, const unsigned char *stop,
                                    const unsigned char *readable_end, unsigned char *&to,
                                    const ascii_patches &patches) {
      return avx2::patched_runs(patches).copy(from, stop, readable_end, to);
    });
#endif
  constexpr uint32_t YEN = 0xC2 | 0xA5 << 8 | 2 << 24, MACRON = 0xC2 | 0xAF << 8 | 2 << 24;
  const ascii_patches letter_sets[] = {PATCHES,
                                       {1, {0x5C}, {0x00A5}, {YEN}},
                                       {1, {0x7E}, {0x203E}, {PATCHES.utf8[1]}},
                                       {2, {0x5C, 0x7E}, {0x00A5, 0x00AF}, {YEN, MACRON}}};
  for (const auto &[name, copy_patched] : kernels)
    for (const ascii_patches &letters : letter_sets)
      for (const std::string fill : {"ab\\c~~d", "abcdefghijklmnopqrstuvw~xyzabcdefghijklm\\"}) {
        SCOPED_TRACE(std::string(name) + " letters " + std::to_string(letters.count) + " " +
                     std::to_string(letters.byte[0]));
        for (size_t length = 0; length <= 80; ++length)
          for (size_t bad = 0; bad <= length; ++bad) {
            const size_t readable = length + (bad % 2 == 0 ? 0 : 80);
            std::vector<unsigned char> in(readable, 0x5C);
            for (size_t k = 0; k < length; ++k) in[k] = fill[k % fill.size()];
            if (bad < length) in[bad] = 0x82;
            std::vector<unsigned char> out(3 * length + 2 * ASCII_KERNEL_OVERHANG, 0xEE);
            unsigned char *to = out.data();
            const size_t count =
                copy_patched(in.data(), in.data() + length, in.data() + readable, to, letters);
            const size_t whole_blocks = length / 16 * 16;
            ASSERT_EQ(count, bad < whole_blocks ? bad : whole_blocks) << length << " " << bad;
            std::string expected;
            for (size_t k = 0; k < count; ++k) {
              uint32_t character = in[k] | 1u << 24;
              for (unsigned p = 0; p < letters.count; ++p)
                if (in[k] == letters.byte[p]) character = letters.utf8[p];
              for (unsigned b = 0; b < character >> 24; ++b)
                expected += static_cast<char>(character >> 8 * b);
            }
            EXPECT_EQ(std::string(reinterpret_cast<char *>(out.data()), to - out.data()), expected)
                << length << " " << bad;
            // Nothing written past the overhang the callers keep.
            EXPECT_EQ(std::count(to + ASCII_KERNEL_OVERHANG, out.data() + out.size(), 0xEE),
                      out.data() + out.size() - to - ASCII_KERNEL_OVERHANG)
                << length << " " << bad;
          }
      }
}

} // namespace
