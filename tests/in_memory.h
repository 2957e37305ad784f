// SPDX-License-Identifier: MIT
// Converters and the option scanner driven in memory, for the unit tests and the fuzz targets.
#pragma once

#include "argument_vector.h"
#include "audit.h"
#include "input.h"
#include "messages.h"
#include "options.h"
#include "output.h"

#include <string>
#include <vector>

// A program's converter of one input (decode_stream, encode_stream).
using stream_converter = int (*)(input_stream &, program_io &);

struct converted {
  std::string out;
  int status;
  std::string audit; // the audit's lines (w)
};

// Runs `convert` over `input`; reads return at most `largest_read` bytes and never cross
// `split_at` when those are not 0, as a pipe might deliver them.
inline converted convert_in_memory(stream_converter convert, const std::string &input,
                                   size_t largest_read = 0, size_t split_at = 0) {
  std::string out, audit;
  program_io &io = program_streams();
  output_to_memory(io.out, &out);
  audit_to_memory(io.log, &audit);
  input_stream in = memory_input(input.data(), input.size());
  in.largest_read = largest_read;
  in.split_at = split_at;
  const int status = convert(in, io);
  output_flush(io.out);
  output_to_memory(io.out, nullptr);
  audit_flush(io.log);
  audit_to_memory(io.log, nullptr);
  return {out, status, audit};
}

// Scans `options` as the program's command line would ("-dl", or "-p 0x3013 -m": words split
// at spaces) and returns what scan_options returns; when the program goes on, prepares the
// conversion as the program does.
inline int scan_option_words(const program_profile &profile, const std::string &options) {
  std::vector<std::string> words = {"program"};
  size_t start = 0;
  while (start < options.size()) {
    size_t space = options.find(' ', start);
    if (space == std::string::npos) space = options.size();
    if (space > start) words.push_back(options.substr(start, space - start));
    start = space + 1;
  }
  std::vector<char *> argv = argument_vector(words);
  int first_file = 0;
  const int result = scan_options(static_cast<int>(words.size()), argv.data(), profile, first_file);
  if (result == KEEP_RUNNING) profile.prepare_conversion();
  return result;
}
