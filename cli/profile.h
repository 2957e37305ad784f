// SPDX-License-Identifier: MIT
// What makes one program out of the shared front end.
#pragma once

#include "block_loop.h"
#include "input.h"

#include <cstdint>
#include <string_view>

struct program_profile {
  const char *usage;
  // Performs the action of one option letter (a setting or a variant patch); false when the
  // letter is not one of the program's. The letters p, h, ? and the ignored - and / are the
  // front end's own and never reach it.
  bool (*apply_letter)(char letter);
  int32_t replace_bound; // the value after p must be below this (a signed comparison)
  // Checked once the options are all scanned, as letters may come after p; false when the p
  // value in force does not suit the settings (reported as a bad -p value). May be null.
  bool (*check_options)();
  // Run once when the options are scanned: makes what the conversion reads from the tables
  // and settings, so that nothing on the way checks whether they changed.
  void (*prepare_conversion)();
  // Run once before the first input is opened, writing to `out`; may be null.
  void (*before_conversion)(output_stream &out);
  // Converts one input onto io's output; the status bits.
  int (*convert)(input_stream &in, program_io &io);
  uint64_t (*dropped)(); // the losses of the last input converted
  // --in-place: why a file must stay as it is (reads it; the driver rewinds it), or null for a
  // file to convert. May be null.
  const char *(*in_place_refusal)(input_stream &in);
};

// True when `usage` lists exactly `letters` in its "[-...]" group of option letters (the
// profiles check their usage texts against their letter lists at compile time).
constexpr bool usage_lists_letters(std::string_view usage, std::string_view letters) {
  size_t group = usage.rfind("[-");
  while (group != std::string_view::npos && usage.substr(group + 2, 1) == "-") // "[--in-place]"
    group = group == 0 ? std::string_view::npos : usage.rfind("[-", group - 1);
  return group != std::string_view::npos && usage.substr(group + 2, letters.size()) == letters &&
         usage.substr(group + 2 + letters.size(), 1) == "]";
}
