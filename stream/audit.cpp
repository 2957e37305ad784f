// SPDX-License-Identifier: MIT
#include "audit.h"

#include "platform.h"

#include <cstring>

bool audit_enabled = false;
bool audit_lines_wanted = true;

namespace {

constexpr size_t AUDIT_BUFFER_SIZE = 64 * 1024;

char buffer[AUDIT_BUFFER_SIZE];
size_t buffered = 0;
std::string *memory_sink = nullptr;

// Where the current input stands. Offsets count bytes from the start of the input.
const char *input_name = "-";
line_feed_form line_feeds = line_feed_form::byte;
uint64_t run_offset = 0; // offset of run_begin
const unsigned char *run_begin = nullptr;
const unsigned char *counted = nullptr; // line feeds before this are counted
uint64_t line = 1;
uint64_t line_start = 0; // offset of the first byte after the last line feed counted
uint64_t dropped = 0;    // of the current input

void append(const char *text, size_t size) {
  while (size > 0) {
    if (buffered == AUDIT_BUFFER_SIZE) audit_flush();
    const size_t part = size < AUDIT_BUFFER_SIZE - buffered ? size : AUDIT_BUFFER_SIZE - buffered;
    std::memcpy(buffer + buffered, text, part);
    buffered += part;
    text += part;
    size -= part;
  }
}

void append_decimal(uint64_t value) {
  char digits[20];
  size_t count = 0;
  do {
    digits[sizeof digits - ++count] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  append(digits + sizeof digits - count, count);
}

void append_hex(uint32_t value, int digits) {
  static const char HEX[] = "0123456789ABCDEF";
  while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
  char text[8];
  for (int digit = 0; digit < digits; ++digit)
    text[digits - 1 - digit] = HEX[(value >> (4 * digit)) & 0xF];
  append(text, static_cast<size_t>(digits));
}

// Counts the line feeds between `counted` and `to`.
void count_up_to(const unsigned char *to) {
  const line_feed_count found =
      count_line_feeds(counted, static_cast<size_t>(to - counted), line_feeds);
  if (found.count != 0) {
    line += found.count;
    line_start = run_offset + static_cast<uint64_t>(counted - run_begin) + found.after_last;
  }
  counted = to;
}

} // namespace

void audit_input_begin(const char *name) {
  input_name = name;
  line_feeds = line_feed_form::byte;
  run_offset = 0;
  run_begin = counted = nullptr;
  line = 1;
  line_start = 0;
  dropped = 0;
}

void audit_line_feeds(line_feed_form form) {
  line_feeds = form;
}

void audit_run_begin(const unsigned char *from) {
  run_begin = counted = from;
}

void audit_run_end(const unsigned char *next) {
  if (!audit_lines_wanted) return; // only counting
  count_up_to(next);
  run_offset += static_cast<uint64_t>(next - run_begin);
}

void audit_loss(const unsigned char *at, bool replaced, const audit_piece *pieces, size_t count) {
  if (!replaced) ++dropped;
  if (!audit_lines_wanted) return;
  count_up_to(at);
  const uint64_t offset = run_offset + static_cast<uint64_t>(at - run_begin);
  append(input_name, std::strlen(input_name));
  append(":", 1);
  append_decimal(line);
  append(":", 1);
  append_decimal(offset - line_start + 1);
  append(": ", 2);
  for (size_t k = 0; k < count; ++k) {
    append(pieces[k].text, std::strlen(pieces[k].text));
    if (pieces[k].digits != 0) append_hex(pieces[k].value, pieces[k].digits);
  }
  static const char REPLACED[] = ": replaced\n";
  static const char DROPPED[] = ": dropped\n";
  if (replaced)
    append(REPLACED, sizeof REPLACED - 1);
  else
    append(DROPPED, sizeof DROPPED - 1);
}

uint64_t audit_dropped() {
  return dropped;
}

void audit_append_message(const char *text) {
  append(text, std::strlen(text));
}

void audit_flush() {
  if (buffered == 0) return;
  if (memory_sink != nullptr)
    memory_sink->append(buffer, buffered);
  else
    write_to_standard_error(reinterpret_cast<const unsigned char *>(buffer), buffered);
  buffered = 0;
}

void audit_to_memory(std::string *sink) {
  buffered = 0;
  memory_sink = sink;
}
