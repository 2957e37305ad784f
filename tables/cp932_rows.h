// The CP932 mapping as compile-time data: every line of tables/cp932.txt as a {code, unicode}
// row. Only the table builders read it, at compile time, so no program carries it at run time.
#pragma once

#include "cp932_bytes.h"

#include <cstdint>

struct cp932_row {
  uint16_t code;    // single byte 0x00-0xFF, or lead byte * 256 + trail byte
  uint16_t unicode; // a code point of the Basic Multilingual Plane
};

static constexpr cp932_row cp932_rows[] = {
#include "cp932_rows.inc"
};
