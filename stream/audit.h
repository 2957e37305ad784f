// SPDX-License-Identifier: MIT
// The audit (the letter w): one line on standard error for every item of an input that the
// conversion drops or replaces, in input order:
//   NAME:LINE:COLUMN: DESCRIPTION: ACTION
// LINE is 1 + the line feeds before the item, COLUMN 1 + the bytes between the end of the last
// line feed (or the start of the input) and the item's first byte. Positions cost nothing
// unless auditing: the block loop then tells where each run of input begins and where it
// stopped, and the line feeds of what a run consumed are counted once, a run at a time.
// Lines are gathered in a buffer and written in large pieces.
#pragma once

#include "line_feeds.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

// A piece of an item's description: `text`, then `value` in at least `digits` upper-case
// hexadecimal digits (no number when `digits` is 0).
struct audit_piece {
  const char *text;
  uint32_t value = 0;
  int digits = 0;
};

// One item dropped or replaced, as a converter's audit hands it to its sink.
struct audit_item {
  const char *input_name;
  uint64_t line, column;
  uint64_t offset;           // of its first byte from the start of the input
  size_t length;             // its bytes
  const audit_piece *pieces; // the description
  size_t count;
  bool replaced; // else dropped
};
using audit_sink = void (*)(void *context, const audit_item &item);

// Where a converter's audit stands in its current input, and where its items go. Offsets count
// bytes from the start of the input.
struct audit_state {
  audit_sink sink = nullptr; // null: items are only counted
  void *context = nullptr;
  const char *input_name = "-";
  line_feed_form line_feeds = line_feed_form::byte;
  uint64_t run_offset = 0; // offset of run_begin
  const unsigned char *run_begin = nullptr;
  const unsigned char *counted = nullptr; // line feeds before this are counted
  uint64_t line = 1;
  uint64_t line_start = 0; // offset of the first byte after the last line feed counted
  uint64_t dropped = 0;    // items dropped in the current input
};

// Starts an input named `name`: line 1, column 1, line feeds as bytes.
void audit_input_begin(audit_state &audit, const char *name);
// How line feeds are spelled in what follows of the current input.
void audit_line_feeds(audit_state &audit, line_feed_form form);
// A run of the block loop begins at `from` (the first byte not yet consumed) and stopped at
// `next` (everything before it consumed).
void audit_run_begin(audit_state &audit, const unsigned char *from);
void audit_run_end(audit_state &audit, const unsigned char *next);

// Reports the item of `length` bytes whose first byte is `at`, within the current run, described
// by `pieces`: `replaced` when the replacement was written for it, else it was dropped.
// Cold: the paths that report are moved out of the converters' loops.
[[gnu::cold]] void audit_loss(audit_state &audit, const unsigned char *at, size_t length,
                              bool replaced, const audit_piece *pieces, size_t count);
inline void audit_loss(audit_state &audit, const unsigned char *at, size_t length, bool replaced,
                       std::initializer_list<audit_piece> pieces) {
  audit_loss(audit, at, length, replaced, pieces.begin(), pieces.size());
}

// Writes the description of `item` (its pieces, as "invalid byte 0x80") at `to`, at most `room`
// bytes with a final null byte: its length (without the null byte).
size_t describe_item(const audit_item &item, char *to, size_t room);

// The programs' standard error: the audit's lines and the front end's messages, gathered in a
// buffer and written in large pieces, in the order they came.
constexpr size_t ERROR_LOG_SIZE = 64 * 1024;
struct error_log {
  size_t buffered = 0;
  std::string *memory = nullptr; // tests: the lines are gathered here instead
  char buffer[ERROR_LOG_SIZE];
};

// The programs' sink (`context`: their error_log): each item as a line,
//   NAME:LINE:COLUMN: DESCRIPTION: ACTION
void audit_line(void *context, const audit_item &item);

// Adds a message of the front end after the lines gathered so far.
void audit_append_message(error_log &log, const char *text);

// Writes out the lines gathered so far (before any other message, and after each input).
void audit_flush(error_log &log);

// Tests: gather the lines in `sink` instead of writing them to standard error (nullptr
// restores standard error).
void audit_to_memory(error_log &log, std::string *sink);
