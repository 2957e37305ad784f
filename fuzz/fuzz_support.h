// What the fuzz targets share: fresh tables and settings for every input, and a way to run a
// converter on bytes in memory.
#pragma once

#include "cp932_bytes.h"
#include "cp932_decode.h"
#include "cp932_encode.h"
#include "decode.h"
#include "encode.h"
#include "output.h"
#include "settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Brings back the tables and settings of a fresh process.
inline void reset_process_state() {
  static const auto single = cp932_single;
  static const auto pairs = cp932_double;
  static const auto encode = unicode_to_cp932;
  cp932_single = single;
  cp932_double = pairs;
  unicode_to_cp932 = encode;
  replace_enabled = false;
  replace_code = 0;
  little_endian = false;
  write_bom = false;
  input_little_endian = false;
  reference_mode = 0;
  escape_markup = false;
}

struct converted {
  std::string out;
  int status;
};

// Runs `convert` over `data`, its reads never longer than `largest_read` (0: no limit).
inline converted convert_in_memory(int (*convert)(input_stream &), const std::string &data,
                                   size_t largest_read = 0) {
  std::string out;
  output_to_memory(&out);
  input_stream in = memory_input(data.data(), data.size());
  in.largest_read = largest_read;
  int status = convert(in);
  output_flush();
  output_to_memory(nullptr);
  return {out, status};
}

// Scans `letters` (and a p value when `with_code`) as one option group of `profile`.
inline int apply_letters(const program_profile &profile, const std::string &letters, bool with_code,
                         int32_t code) {
  std::string group = "-" + letters + (with_code ? "p" : "");
  std::string value = std::to_string(code);
  std::string name = "fuzz";
  std::vector<char *> argv = {name.data(), group.data()};
  if (with_code) argv.push_back(value.data());
  argv.push_back(nullptr);
  int first_file = 0;
  return scan_options(static_cast<int>(argv.size()) - 1, argv.data(), profile, first_file);
}

// Picks letters from `alphabet` by the bits of the bytes at `data`.
inline std::string pick_letters(const uint8_t *data, size_t count, const char *alphabet) {
  std::string letters;
  for (size_t k = 0; k < count; ++k)
    letters += alphabet[data[k] % std::char_traits<char>::length(alphabet)];
  return letters;
}

[[noreturn]] inline void property_failed(const char *what) {
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}
