// SPDX-License-Identifier: MIT
// What the fuzz targets share: fresh tables and settings for every input, and a way to run a
// converter on bytes in memory.
#pragma once

#include "cp932_bytes.h"
#include "cp932_decode.h"
#include "cp932_encode.h"
#include "decode.h"
#include "encode.h"
#include "in_memory.h"
#include "kernel_tiers.h"
#include "output.h"
#include "property_failed.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Brings back the tables and settings of a fresh process.
inline void reset_process_state() {
  reset_varnok_state();
  reset_dostrel_state();
}

// Scans `letters` (and a p value when `with_code`) as one option group of `profile`.
inline int apply_letters(const program_profile &profile, const std::string &letters, bool with_code,
                         int32_t code) {
  return scan_option_words(profile, "-" + letters + (with_code ? "p " + std::to_string(code) : ""));
}

// One fuzz input read as a run of a program: byte 0 gives the number of option letters (modulo
// 8), byte 1 the flags (bit 0: p is given; bit 1: its value is reduced below the bound; the
// rest: the largest read of the second pass), bytes 2-5 the p value, then one byte a letter
// (picked from `alphabet`), then the input.
struct fuzz_case {
  std::string letters;
  bool with_code;
  int32_t code;
  size_t largest_read;
  std::string input;
};

inline bool read_fuzz_case(const uint8_t *data, size_t size, const char *alphabet, int32_t bound,
                           fuzz_case &c) {
  if (size < 6 || size < 6 + data[0] % 8u) return false;
  const size_t letter_count = data[0] % 8u;
  c.with_code = data[1] & 1;
  std::memcpy(&c.code, data + 2, 4);
  if (data[1] & 2) c.code %= bound; // mostly values the bound lets through
  c.largest_read = 1 + data[1] % 7u;
  c.letters.clear();
  for (size_t k = 0; k < letter_count; ++k)
    c.letters += alphabet[data[6 + k] % std::char_traits<char>::length(alphabet)];
  c.input.assign(reinterpret_cast<const char *>(data + 6 + letter_count), size - 6 - letter_count);
  return true;
}

// Reads a fuzz input as a run of `profile` with fresh tables and settings and scans its
// letters. False when the input is too short, or when the option group is refused, which only
// a p value at or above `bound`, or one the settings cannot write, may be.
inline bool start_fuzz_run(const uint8_t *data, size_t size, const char *alphabet, int32_t bound,
                           const program_profile &profile, fuzz_case &c) {
  if (!read_fuzz_case(data, size, alphabet, bound, c)) return false;
  reset_process_state();
  if (apply_letters(profile, c.letters, c.with_code, c.code) == KEEP_RUNNING) return true;
  // Refused rightly: a p value at or above the bound, or one the settings cannot write (in
  // varnok with u, a value that is no scalar value).
  const bool rightly = (c.with_code && c.code >= bound) ||
                       (profile.check_options != nullptr && !profile.check_options());
  if (!rightly) property_failed("a valid option group was refused");
  return false;
}

// Converts the case's input whole, checking that every kernel tier and reads of the case's
// size give the same; with w, that the output and status are those without it, and that a
// status never comes without an audit line.
inline converted convert_checked(stream_converter convert, const fuzz_case &c) {
  const converted whole = convert_in_memory(convert, c.input);
  if (!same_on_every_tier(convert, c.input))
    property_failed("a kernel tier converted differently from the portable one");
  const converted parts = convert_in_memory(convert, c.input, c.largest_read);
  if (parts.out != whole.out || parts.status != whole.status || parts.audit != whole.audit)
    property_failed("block boundaries changed the output or the audit");
  if (audit_enabled) {
    audit_enabled = false;
    const converted plain = convert_in_memory(convert, c.input);
    audit_enabled = true;
    if (plain.out != whole.out || plain.status != whole.status)
      property_failed("w changed the output or the status");
    if (whole.status != 0 && whole.audit.empty()) property_failed("a status with no audit line");
  }
  return whole;
}
