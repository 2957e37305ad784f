// The front end both programs share: option scanning and the loop over the inputs.
#pragma once

#include "input.h"

#include <cstdint>

// Both converters return this status for an input that ends inside a character.
constexpr int STATUS_TRUNCATED = 2;

// What makes one program out of the shared front end.
struct program_profile {
  const char *usage;
  // Performs the action of one option letter (a setting or a variant patch); false when the
  // letter is not one of the program's. The letters p, h, ? and the ignored - and / are the
  // front end's own and never reach it.
  bool (*apply_letter)(char letter);
  int32_t replace_bound;       // the value after p must be below this (a signed comparison)
  void (*before_conversion)(); // run once before the first input is opened; may be null
  int (*convert)(input_stream &in);
};

// scan_options returns this when the program goes on to convert.
constexpr int KEEP_RUNNING = -1;

// Scans the option groups of argv, applying each letter at once. Returns KEEP_RUNNING with
// `first_file` set to the index of the first file name, or the exit status of a run that ends
// here (help, a bad option); its messages are already written then.
int scan_options(int argc, char **argv, const program_profile &profile, int &first_file);

// The main routine of a program: scans the options and converts standard input or each named
// file in turn to standard output. Returns the exit status.
int run(int argc, char **argv, const program_profile &profile);

// The value after p: like strtol with base 0 (white space, sign, 0x hexadecimal, 0 octal; the
// rest ignored; no digits give 0), saturated to the signed 32-bit range.
int32_t parse_code(const char *text);
