// SPDX-License-Identifier: MIT
// The variant letters of one converter, each held once, in the order of their last use: for the
// tables that is the same as every use in order (a letter's patch is a fixed set of writes, and
// of two letters that change one cell the later one wins), however often a letter is repeated.
#pragma once

#include <cstring>

struct variant_letters {
  char text[32] = {}; // fewer letters than that exist, each held once
};

inline void add_variant_letter(variant_letters &letters, char letter) {
  char *const found = std::strchr(letters.text, letter);
  if (found != nullptr) std::memmove(found, found + 1, std::strlen(found + 1) + 1);
  const size_t length = std::strlen(letters.text);
  if (length + 1 < sizeof letters.text) {
    letters.text[length] = letter;
    letters.text[length + 1] = '\0';
  }
}
