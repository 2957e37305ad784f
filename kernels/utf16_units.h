// SPDX-License-Identifier: MIT
// UTF-16 code units in memory, in the byte order of a form: one 16-bit load or store each.
#pragma once

#include "kernel_interface.h"

#include <bit>
#include <cstdint>
#include <cstring>

template <unicode_form FORM> constexpr bool is_little_endian_form() {
  return FORM == unicode_form::utf16_little;
}

constexpr uint16_t byte_swapped(uint16_t value) {
  return static_cast<uint16_t>(value << 8 | value >> 8);
}

// Stores `unit` at `to` in the byte order of FORM.
template <unicode_form FORM> inline void store_unit(unsigned char *to, unsigned unit) {
  uint16_t bytes = static_cast<uint16_t>(unit);
  if (is_little_endian_form<FORM>() != (std::endian::native == std::endian::little))
    bytes = byte_swapped(bytes);
  std::memcpy(to, &bytes, 2);
}

// The unit at `at` in the byte order of FORM.
template <unicode_form FORM> inline unsigned load_unit(const unsigned char *at) {
  return is_little_endian_form<FORM>() ? (at[1] << 8 | at[0]) : (at[0] << 8 | at[1]);
}
