// SPDX-License-Identifier: MIT
#include "encode_rules.h"

#include <cstring>

unsigned char *put_reference(unsigned char *to, unsigned value, bool hexadecimal) {
  const unsigned base = hexadecimal ? 16 : 10;
  unsigned char digits[8];
  int count = 0;
  do {
    digits[count++] = static_cast<unsigned char>("0123456789abcdef"[value % base]);
    value /= base;
  } while (value != 0);
  *to++ = '&';
  *to++ = '#';
  if (hexadecimal) *to++ = 'x';
  while (count > 0) *to++ = digits[--count];
  *to++ = ';';
  return to;
}

unsigned char *put_entity(unsigned char *to, unsigned character) {
  const char *entity = character == 0x22   ? "&quot;"
                       : character == 0x26 ? "&amp;"
                       : character == 0x3C ? "&lt;"
                                           : "&gt;";
  size_t length = std::strlen(entity);
  std::memcpy(to, entity, length);
  return to + length;
}
