// SPDX-License-Identifier: MIT
// The library against glibc's iconv() in one process, on buffers: CP932 to UTF-16LE and UTF-16LE
// to CP932 of one file, each way taken in turn, best of ROUNDS. Prints the times and the ratios.
// Usage: library_race CP932_FILE [ROUNDS]
#include "cp932conv.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <string>
#include <vector>

namespace {

double seconds_of(const auto &run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

size_t with_library(int direction, const std::string &in, std::vector<char> &out) {
  const cp932conv_options options = {direction, CP932CONV_UTF16LE, "", 0, 0};
  cp932conv *converter = nullptr;
  if (cp932conv_new(&options, &converter) != CP932CONV_OK) std::exit(1);
  size_t consumed = 0, written = 0;
  cp932conv_convert(converter, in.data(), in.size(), &consumed, out.data(), out.size(), &written,
                    1);
  cp932conv_free(converter);
  return written;
}

size_t with_iconv(const char *to, const char *from, const std::string &in, std::vector<char> &out) {
  iconv_t conversion = iconv_open(to, from);
  char *source = const_cast<char *>(in.data()), *target = out.data();
  size_t left = in.size(), room = out.size();
  iconv(conversion, &source, &left, &target, &room);
  iconv_close(conversion);
  return out.size() - room;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: library_race CP932_FILE [ROUNDS]\n");
    return 1;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::string cp932((std::istreambuf_iterator<char>(file)), {});
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  std::vector<char> out(4 * cp932.size() + 4096);
  const std::string utf16(out.data(), with_library(CP932CONV_DECODE, cp932, out));
  double best[4] = {1e9, 1e9, 1e9, 1e9};
  for (int round = 0; round < rounds; ++round) {
    best[0] = std::min(best[0], seconds_of([&] { with_library(CP932CONV_DECODE, cp932, out); }));
    best[1] = std::min(best[1], seconds_of([&] { with_iconv("UTF-16LE", "CP932", cp932, out); }));
    best[2] = std::min(best[2], seconds_of([&] { with_library(CP932CONV_ENCODE, utf16, out); }));
    best[3] = std::min(best[3], seconds_of([&] { with_iconv("CP932", "UTF-16LE", utf16, out); }));
  }
  std::printf("CP932 to UTF-16LE: library %.3f s, iconv %.3f s, %.1f times as fast\n", best[0],
              best[1], best[1] / best[0]);
  std::printf("UTF-16LE to CP932: library %.3f s, iconv %.3f s, %.1f times as fast\n", best[2],
              best[3], best[3] / best[2]);
  return 0;
}
