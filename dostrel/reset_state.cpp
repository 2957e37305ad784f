// SPDX-License-Identifier: MIT
// Kept apart from the profile so that only the tests and fuzz targets that call it carry the
// mapping rows it rebuilds the table from.
#include "cp932_encode.h"
#include "dostrel_settings.h"
#include "encode.h"

void reset_dostrel_state() {
  reset_shared_settings();
  dostrel_options = {};
  prepare_encode_stream();
}
