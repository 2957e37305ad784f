// SPDX-License-Identifier: MIT
// Kept apart from the table so that only the tests that call it carry the rows.
#include "build_encode_table.h"

void reset_encode_table() {
  unicode_to_cp932 = build_encode();
  ++encode_table_version;
}
