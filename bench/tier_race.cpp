// SPDX-License-Identifier: MIT
// varnok_race and dostrel_race: every kernel tier this processor runs, converting the same
// input in turn in one process (portable, the others, portable, ...), output to standard output
// (give it /dev/null). Each tier's time is the median of its rounds, so a slow spell of a
// shared machine falls on all tiers alike; the last column is the tier against the portable
// tier. PROFILE names the program's profile, PROFILE_HEADER its header.
//   usage: varnok_race FILE ROUNDS [options]
#include "messages.h"
#include "options.h"
#include "output.h"
#include "tiers.h"
#include PROFILE_HEADER

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::vector<unsigned char> read_whole(const char *path) {
  std::vector<unsigned char> bytes;
  std::FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return bytes;
  unsigned char chunk[1 << 16];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  return bytes;
}

double seconds_of_one_run(const std::vector<unsigned char> &input) {
  const auto start = std::chrono::steady_clock::now();
  input_stream in = memory_input(input.data(), input.size());
  program_io &io = program_streams();
  PROFILE.convert(in, io);
  output_flush(io.out);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s FILE ROUNDS [options] > /dev/null\n", argv[0]);
    return 1;
  }
  const std::vector<unsigned char> input = read_whole(argv[1]);
  const int rounds = std::max(1, std::atoi(argv[2]));
  argv[2] = argv[0];
  int first_file = 0;
  if (scan_options(argc - 2, argv + 2, PROFILE, first_file) != KEEP_RUNNING) return 1;
  PROFILE.prepare_conversion();
  output_start(program_streams().out);
  std::vector<const kernel_tier *> tiers;
  for (size_t k = 0; k < KERNEL_TIER_COUNT; ++k)
    if (KERNEL_TIERS[k]->supported()) tiers.push_back(KERNEL_TIERS[k]);
  std::vector<std::vector<double>> times(tiers.size());
  for (int round = 0; round <= rounds; ++round) // round 0 warms up
    for (size_t k = 0; k < tiers.size(); ++k) {
      select_kernel_tier(*tiers[k]);
      const double seconds = seconds_of_one_run(input);
      if (round > 0) times[k].push_back(seconds);
    }
  double portable = 0;
  for (size_t k = 0; k < tiers.size(); ++k) {
    std::sort(times[k].begin(), times[k].end());
    const double median = times[k][times[k].size() / 2];
    if (k == 0) portable = median;
    std::fprintf(stderr, "%-16s %8.2f ms  %5.2fx portable%s\n", tiers[k]->name, median * 1e3,
                 median / portable, tiers[k] == &best_kernel_tier() ? "  (chosen here)" : "");
  }
  return 0;
}
