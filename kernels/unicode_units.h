// SPDX-License-Identifier: MIT
// Characters in memory in each Unicode form: UTF-16 code units in the byte order of the form
// (one 16-bit load or store each), UTF-8 sequences.
#pragma once

#include "kernel_interface.h"

#include <bit>
#include <cstdint>
#include <cstring>

template <unicode_form FORM> constexpr bool is_little_endian_form() {
  return traits_of(FORM).little;
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

// Stores `character` (a scalar value, or a value up to 0x10FFFF) at `to` as UTF-8; returns the
// end of its 1 to 4 bytes.
inline unsigned char *store_utf8(unsigned char *to, uint32_t character) {
  if (character < 0x80) {
    to[0] = static_cast<unsigned char>(character);
    return to + 1;
  }
  if (character < 0x800) {
    to[0] = static_cast<unsigned char>(0xC0 | character >> 6);
    to[1] = static_cast<unsigned char>(0x80 | (character & 0x3F));
    return to + 2;
  }
  if (character < 0x10000) {
    to[0] = static_cast<unsigned char>(0xE0 | character >> 12);
    to[1] = static_cast<unsigned char>(0x80 | (character >> 6 & 0x3F));
    to[2] = static_cast<unsigned char>(0x80 | (character & 0x3F));
    return to + 3;
  }
  to[0] = static_cast<unsigned char>(0xF0 | character >> 18);
  to[1] = static_cast<unsigned char>(0x80 | (character >> 12 & 0x3F));
  to[2] = static_cast<unsigned char>(0x80 | (character >> 6 & 0x3F));
  to[3] = static_cast<unsigned char>(0x80 | (character & 0x3F));
  return to + 4;
}

// Stores a character of the Basic Multilingual Plane (a table's value) in FORM; returns the end.
template <unicode_form FORM> inline unsigned char *store_bmp(unsigned char *to, unsigned unit) {
  if constexpr (FORM == unicode_form::utf8) {
    return store_utf8(to, unit);
  } else {
    store_unit<FORM>(to, unit);
    return to + 2;
  }
}

// The longest sequence that begins with the byte `lead`, by Unicode's table of well-formed
// UTF-8 (0 for a byte that begins none), and the range its second byte must lie in.
struct utf8_lead {
  unsigned char length, second_first, second_last;
};
constexpr utf8_lead utf8_lead_of(unsigned lead) {
  if (lead < 0x80) return {1, 0, 0};
  if (lead < 0xC2) return {0, 0, 0};
  if (lead < 0xE0) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead < 0xF0) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead < 0xF4) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

// What reading one UTF-8 character at `from` (`available` bytes there) found.
struct utf8_read {
  uint32_t character; // when `length` is not 0
  unsigned length;    // the bytes of a well-formed character, or 0
  unsigned broken;    // else the bytes of a maximal subpart that is no character (1 to 3)
                      // or 0 when the bytes there are a well-formed prefix cut by `available`
};

// Reads one character by Unicode's table of well-formed UTF-8 sequences: a well-formed one, a
// maximal ill-formed subpart (one broken character: E3 81 41 is one, then 'A'; ED A0 80 is
// three), or a well-formed prefix that needs more bytes than `available`.
inline utf8_read read_utf8(const unsigned char *from, size_t available) {
  const unsigned lead = from[0];
  const utf8_lead form = utf8_lead_of(lead);
  if (form.length == 1) return {lead, 1, 0};
  if (form.length == 0) return {0, 0, 1};
  uint32_t character = lead & (0xFF >> (form.length + 1));
  for (unsigned k = 1; k < form.length; ++k) {
    if (k >= available) return {0, 0, 0};
    const unsigned byte = from[k];
    const unsigned first = k == 1 ? form.second_first : 0x80,
                   last = k == 1 ? form.second_last : 0xBF;
    if (byte < first || byte > last) return {0, 0, k};
    character = character << 6 | (byte & 0x3F);
  }
  return {character, form.length, 0};
}
