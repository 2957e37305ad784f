// SPDX-License-Identifier: MIT
// Kept apart from the tables so that only the tests that call it carry the rows. The fresh
// tables are made by the compiler, like the programs' own, and copied back.
#include "build_decode_tables.h"

namespace {

constexpr std::array<int16_t, 256> FRESH_SINGLE = build_single();
constexpr std::array<int16_t, DOUBLE_TABLE_SIZE> FRESH_DOUBLE = build_double();
constexpr std::array<uint32_t, DOUBLE_TABLE_SIZE> FRESH_DOUBLE_UTF8 = build_double_utf8();

} // namespace

void reset_decode_tables() {
  cp932_single = FRESH_SINGLE;
  cp932_double = FRESH_DOUBLE;
  cp932_double_utf8 = FRESH_DOUBLE_UTF8;
}
