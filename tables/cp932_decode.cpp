// SPDX-License-Identifier: MIT
#include "cp932_decode.h"

#include "build_decode_tables.h"
#include "kana_ranges.h"

static_assert(kana_ranges_hold(), "the kernels' kana arithmetic does not match the mapping");

constinit const std::array<int16_t, 256> cp932_single = build_single();
constinit const std::array<int16_t, DOUBLE_TABLE_SIZE> cp932_double = build_double();
constinit const std::array<uint32_t, DOUBLE_TABLE_SIZE> cp932_double_utf8 = build_double_utf8();
