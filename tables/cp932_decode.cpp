// SPDX-License-Identifier: MIT
#include "cp932_decode.h"

#include "build_decode_tables.h"

constinit std::array<int16_t, 256> cp932_single = build_single();
constinit std::array<int16_t, DOUBLE_TABLE_SIZE> cp932_double = build_double();
