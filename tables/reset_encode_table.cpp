// SPDX-License-Identifier: MIT
// Kept apart from the table so that only the tests that call it carry the rows. The fresh
// table is made by the compiler, like the program's own, and copied back.
#include "build_encode_table.h"

namespace {

constexpr std::array<uint16_t, 0x10000> FRESH_TABLE = build_encode();

} // namespace

void reset_encode_table() {
  unicode_to_cp932 = FRESH_TABLE;
}
