// SPDX-License-Identifier: MIT
#include "wildcard_match.h"

bool matches_wildcard(const char *pattern, const char *name) {
  // On a mismatch, the last * takes one more byte and matching resumes after it; no earlier *
  // needs to be revisited, so the walk takes at most length(pattern) * length(name) steps.
  const char *star = nullptr;
  const char *resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = ++pattern;
      resume = name;
    } else if (*pattern != '\0' && (*pattern == '?' || *pattern == *name)) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}
