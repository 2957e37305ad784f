// SPDX-License-Identifier: MIT
#include "cp932_encode.h"

#include "build_encode_table.h"

constinit const std::array<uint16_t, 0x10000> unicode_to_cp932 = build_encode();
