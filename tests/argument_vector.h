// SPDX-License-Identifier: MIT
// An argument vector (pointers into `words`, then a null) as a program's main receives it.
#pragma once

#include <string>
#include <vector>

inline std::vector<char *> argument_vector(std::vector<std::string> &words) {
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return argv;
}
