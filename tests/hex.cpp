// SPDX-License-Identifier: MIT
#include "hex.h"

#include <cstdio>
#include <stdexcept>

std::string hex(const std::string &text) {
  std::string bytes;
  int high = -1;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c == ' ')
      continue;
    else
      throw std::invalid_argument("not hexadecimal: " + text);
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<char>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of digits: " + text);
  return bytes;
}

std::string to_hex(const std::string &bytes) {
  std::string text;
  char digits[4];
  for (unsigned char byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", byte);
    if (!text.empty()) text += ' ';
    text += digits;
  }
  return text;
}
