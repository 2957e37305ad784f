// SPDX-License-Identifier: MIT
// The option scanner of both programs on random argument vectors (NUL-separated words). It
// must return, never exit, with KEEP_RUNNING and a first file inside the vector, status 0 with
// the version line (--version), or status 1.
// Run it with -close_fd_mask=2: the scanner's messages then go nowhere, libFuzzer's still show.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  reset_process_state();
  const program_profile &profile = data[0] & 1 ? dostrel_profile : varnok_profile;
  std::vector<std::string> words = {"fuzz"};
  std::string word;
  for (size_t k = 1; k < size; ++k) {
    if (data[k] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[k]);
    }
  }
  words.push_back(word);
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::string usage;
  output_to_memory(program_streams().out, &usage);
  int first_file = -1;
  const int argc = static_cast<int>(words.size());
  const int result = scan_options(argc, argv.data(), profile, first_file);
  output_to_memory(program_streams().out, nullptr);
  if (result == KEEP_RUNNING) {
    if (first_file < 1 || first_file > argc) property_failed("first file outside the vector");
    if (replace_enabled && replace_code >= profile.replace_bound)
      property_failed("a p value beyond the bound was accepted");
  } else if (result == 0) {
    const std::string name(profile.usage, std::strchr(profile.usage, ' '));
    if (usage.rfind(name + " ", 0) != 0 || usage.back() != '\n')
      property_failed("status 0 without the version line");
  } else if (result != 1) {
    property_failed("a status other than 0 and 1");
  } else if (!usage.empty() && usage != profile.usage) {
    property_failed("standard output holds more than the usage");
  }
  return 0;
}
