// SPDX-License-Identifier: MIT
// Line feeds in a stretch of input, for the line and column numbers of the audit (w). Counted
// 64 bytes a step with SSE2 where the target has it, else a byte or unit at a time; the last
// one is looked for from the end.
#pragma once

#include <cstddef>

// How an input spells its line feed: the byte 0x0A (CP932 and UTF-8), or the unit U+000A in
// the byte order the input is read in.
enum class line_feed_form { byte, utf16_big, utf16_little };

struct line_feed_count {
  size_t count;      // line feeds in the stretch
  size_t after_last; // offset just past the last one; 0 when there is none
};

// Counts the line feeds in [from, from + size). In the UTF-16 forms `from` begins a unit and an
// odd last byte is not looked at.
line_feed_count count_line_feeds(const unsigned char *from, size_t size, line_feed_form form);
