// SPDX-License-Identifier: MIT
// How a fuzz target reports a broken property: a message, then an abort that libFuzzer catches
// and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void property_failed(const char *what) {
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}
