// SPDX-License-Identifier: MIT
// Kept apart from the tables so that only the tests that call it carry the rows.
#include "build_decode_tables.h"

void reset_decode_tables() {
  cp932_single = build_single();
  cp932_double = build_double();
}
