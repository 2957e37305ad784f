// SPDX-License-Identifier: MIT
// Wildcard arguments and the path syntax they are written in. Both syntaxes are plain functions
// so that each can be tested on every system; the programs use the native one.
#pragma once

#include "platform.h"

#include <cstddef>

// How many bytes the character at `at` takes: 2 for a lead byte followed by a real trail byte
// (0x40-0x7E, 0x80-0xFC), else 1. `/`, `\0`, `*` and `?` are never trail bytes, so they always
// stand for themselves after a lead-range byte, as they do in a UTF-8 name such as E3 81 82 2F.
// Every scan of a pattern steps with this.
size_t character_length(const char *at);

// True when `arg` holds * or ? outside double-byte characters; "-?" and "/?" (help requests)
// never count as patterns.
bool has_wildcard(const char *arg);

// Where the last component of `pattern` begins (after its last separator).
size_t last_component(const char *pattern, path_syntax syntax = NATIVE_PATH_SYNTAX);

// A fresh string: the directory prefix to put in front of the names that `pattern` matches
// ("dir\sub" for "dir\sub\*.txt", "C:\" for "C:\*.txt", "" for "*.txt").
char *directory_part(const char *pattern, path_syntax syntax = NATIVE_PATH_SYNTAX);

// A fresh string: `name` joined to the directory prefix.
char *join_path(const char *prefix, const char *name, path_syntax syntax = NATIVE_PATH_SYNTAX);
