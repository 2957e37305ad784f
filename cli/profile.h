// SPDX-License-Identifier: MIT
// What makes one program out of the shared front end.
#pragma once

#include "input.h"

#include <cstdint>

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
