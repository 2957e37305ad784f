// SPDX-License-Identifier: MIT
#include "audit.h"

#include "platform.h"

#include <cstring>

namespace {

void append(error_log &log, const char *text, size_t size) {
  while (size > 0) {
    if (log.buffered == ERROR_LOG_SIZE) audit_flush(log);
    const size_t part = size < ERROR_LOG_SIZE - log.buffered ? size : ERROR_LOG_SIZE - log.buffered;
    std::memcpy(log.buffer + log.buffered, text, part);
    log.buffered += part;
    text += part;
    size -= part;
  }
}

void append_decimal(error_log &log, uint64_t value) {
  char digits[20];
  size_t count = 0;
  do {
    digits[sizeof digits - ++count] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  append(log, digits + sizeof digits - count, count);
}

// `value` in at least `digits` upper-case hexadecimal digits at `to`: their count.
size_t hex_digits(uint32_t value, int digits, char *to) {
  static const char HEX[] = "0123456789ABCDEF";
  while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
  for (int digit = 0; digit < digits; ++digit)
    to[digits - 1 - digit] = HEX[(value >> (4 * digit)) & 0xF];
  return static_cast<size_t>(digits);
}

// Counts the line feeds between `counted` and `to`.
void count_up_to(audit_state &audit, const unsigned char *to) {
  const line_feed_count found =
      count_line_feeds(audit.counted, static_cast<size_t>(to - audit.counted), audit.line_feeds);
  if (found.count != 0) {
    audit.line += found.count;
    audit.line_start = audit.run_offset + static_cast<uint64_t>(audit.counted - audit.run_begin) +
                       found.after_last;
  }
  audit.counted = to;
}

} // namespace

void audit_input_begin(audit_state &audit, const char *name) {
  audit.input_name = name;
  audit.line_feeds = line_feed_form::byte;
  audit.run_offset = 0;
  audit.run_begin = audit.counted = nullptr;
  audit.line = 1;
  audit.line_start = 0;
  audit.dropped = 0;
}

void audit_line_feeds(audit_state &audit, line_feed_form form) {
  audit.line_feeds = form;
}

void audit_run_begin(audit_state &audit, const unsigned char *from) {
  audit.run_begin = audit.counted = from;
}

void audit_run_end(audit_state &audit, const unsigned char *next) {
  if (audit.sink == nullptr) return; // only counting
  count_up_to(audit, next);
  audit.run_offset += static_cast<uint64_t>(next - audit.run_begin);
}

void audit_loss(audit_state &audit, const unsigned char *at, size_t length, bool replaced,
                const audit_piece *pieces, size_t count) {
  if (!replaced) ++audit.dropped;
  if (audit.sink == nullptr) return;
  count_up_to(audit, at);
  const uint64_t offset = audit.run_offset + static_cast<uint64_t>(at - audit.run_begin);
  audit.sink(audit.context, {audit.input_name, audit.line, offset - audit.line_start + 1, offset,
                             length, pieces, count, replaced});
}

size_t describe_item(const audit_item &item, char *to, size_t room) {
  size_t length = 0;
  for (size_t k = 0; k < item.count; ++k) {
    char piece[64];
    size_t size = std::strlen(item.pieces[k].text);
    if (size > sizeof piece - 8) size = sizeof piece - 8;
    std::memcpy(piece, item.pieces[k].text, size);
    if (item.pieces[k].digits != 0)
      size += hex_digits(item.pieces[k].value, item.pieces[k].digits, piece + size);
    if (length + size >= room) break;
    std::memcpy(to + length, piece, size);
    length += size;
  }
  if (room > 0) to[length] = '\0';
  return length;
}

void audit_line(void *context, const audit_item &item) {
  error_log &log = *static_cast<error_log *>(context);
  append(log, item.input_name, std::strlen(item.input_name));
  append(log, ":", 1);
  append_decimal(log, item.line);
  append(log, ":", 1);
  append_decimal(log, item.column);
  append(log, ": ", 2);
  char description[256];
  append(log, description, describe_item(item, description, sizeof description));
  static const char REPLACED[] = ": replaced\n";
  static const char DROPPED[] = ": dropped\n";
  if (item.replaced)
    append(log, REPLACED, sizeof REPLACED - 1);
  else
    append(log, DROPPED, sizeof DROPPED - 1);
}

void audit_append_message(error_log &log, const char *text) {
  append(log, text, std::strlen(text));
}

void audit_flush(error_log &log) {
  if (log.buffered == 0) return;
  if (log.memory != nullptr)
    log.memory->append(log.buffer, log.buffered);
  else
    write_to_standard_error(reinterpret_cast<const unsigned char *>(log.buffer), log.buffered);
  log.buffered = 0;
}

void audit_to_memory(error_log &log, std::string *sink) {
  log.buffered = 0;
  log.memory = sink;
}
