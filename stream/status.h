// SPDX-License-Identifier: MIT
// The exit statuses of both programs; a converter's status bits are ORed together.
#pragma once

constexpr int STATUS_SUCCESS = 0;
// Help, a bad option, an input that cannot be opened or read, a failed write, no memory.
constexpr int STATUS_FAILURE = 1;
// Both converters give this for an input that ends inside a character.
constexpr int STATUS_TRUNCATED = 2;
// Input that is not text of its encoding: varnok's invalid bytes and bad trail bytes, dostrel's
// ill-formed UTF-8.
constexpr int STATUS_INVALID = 4;
