// SPDX-License-Identifier: MIT
// Kept apart from the profile so that only the tests and fuzz targets that call it carry the
// mapping rows it rebuilds the tables from.
#include "cp932_decode.h"
#include "decode.h"
#include "varnok_settings.h"

void reset_varnok_state() {
  reset_shared_settings();
  varnok_options = {};
  prepare_decode_stream();
}
