// SPDX-License-Identifier: MIT
// The byte ranges of CP932's two-byte codes.
#pragma once

constexpr bool is_cp932_lead_byte(unsigned byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

constexpr bool is_cp932_trail_byte(unsigned byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}
