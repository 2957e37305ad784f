// SPDX-License-Identifier: MIT
// The exit statuses of both programs. varnok's own status bit (4, invalid input) is named in
// varnok/decode.h.
#pragma once

constexpr int STATUS_SUCCESS = 0;
// Help, a bad option, an input that cannot be opened or read, a failed write, no memory.
constexpr int STATUS_FAILURE = 1;
// Both converters give this for an input that ends inside a character.
constexpr int STATUS_TRUNCATED = 2;
