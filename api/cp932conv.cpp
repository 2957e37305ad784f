// SPDX-License-Identifier: MIT
// The C interface over the two converters: a converter of either direction behind one handle,
// and the output a caller's small buffer cannot take yet kept in the converter.
#include "cp932conv.h"

#include "decoder.h"
#include "encoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The room a converter writes a chunk into when the caller's output is smaller than it needs.
constexpr size_t STAGE_ROOM = 4096;
constexpr size_t LEAST_OUTPUT_ROOM = std::max(DECODER_LEAST_ROOM, ENCODER_LEAST_ROOM);
static_assert(STAGE_ROOM >= LEAST_OUTPUT_ROOM);

} // namespace

struct cp932conv {
  std::unique_ptr<decoder> decoding; // one of the two
  std::unique_ptr<encoder> encoding;
  cp932conv_audit audit = nullptr;
  void *context = nullptr;
  bool finished = false; // the final chunk is converted
  unsigned char staged[STAGE_ROOM];
  size_t staged_from = 0, staged_to = 0; // converted, not yet handed over
};

namespace {

audit_state &audit_of(cp932conv &c) {
  return c.decoding ? c.decoding->audit : c.encoding->audit;
}

size_t convert_chunk(cp932conv &c, const unsigned char *in, size_t size, bool final,
                     unsigned char *&to, size_t room) {
  return c.decoding ? decode_chunk(*c.decoding, in, size, final, to, room)
                    : encode_chunk(*c.encoding, in, size, final, to, room);
}

// Hands an item of the converter's audit to the caller's function.
void relay_item(void *context, const audit_item &item) {
  const cp932conv &c = *static_cast<const cp932conv *>(context);
  char description[256];
  describe_item(item, description, sizeof description);
  uint32_t value = 0;
  for (size_t k = 0; k < item.count && value == 0; ++k)
    if (item.pieces[k].digits != 0) value = item.pieces[k].value;
  const cp932conv_item relayed = {item.line,     item.column, description, value,
                                  item.replaced, item.offset, item.length};
  c.audit(c.context, &relayed);
}

template <typename SETTINGS, typename ADD>
bool add_letters(SETTINGS &settings, const char *letters, ADD add) {
  for (const char *letter = letters; letter != nullptr && *letter != '\0'; ++letter)
    if (*letter != '-' && !add(settings, *letter)) return false;
  return true;
}

int make(const cp932conv_options &options, cp932conv &c) {
  if (options.form < CP932CONV_UTF16BE || options.form > CP932CONV_UTF8)
    return CP932CONV_BAD_ARGUMENT;
  const auto form = static_cast<unicode_form>(options.form);
  static_assert(static_cast<int>(unicode_form::utf16_big) == CP932CONV_UTF16BE &&
                static_cast<int>(unicode_form::utf16_little) == CP932CONV_UTF16LE &&
                static_cast<int>(unicode_form::utf8) == CP932CONV_UTF8);
  if (options.direction == CP932CONV_DECODE) {
    decoder_settings settings;
    settings.form = form;
    if (!add_letters(settings, options.letters, add_decoder_letter)) return CP932CONV_BAD_LETTER;
    if (options.replace && !decoder_replacement_fits(settings.form, options.replacement))
      return CP932CONV_BAD_REPLACEMENT;
    settings.replace = options.replace != 0;
    settings.replacement = options.replacement;
    settings.audit = true; // every loss counted, reported only to an audit function
    c.decoding = std::make_unique<decoder>();
    make_decoder(settings, *c.decoding);
  } else if (options.direction == CP932CONV_ENCODE) {
    encoder_settings settings;
    settings.little_endian = form == unicode_form::utf16_little;
    settings.utf8 = form == unicode_form::utf8;
    if (!add_letters(settings, options.letters, add_encoder_letter)) return CP932CONV_BAD_LETTER;
    if (options.replace && options.replacement >= 0x10000) return CP932CONV_BAD_REPLACEMENT;
    settings.replace = options.replace != 0;
    settings.replacement = options.replacement;
    settings.audit = true; // every loss counted, reported only to an audit function
    c.encoding = std::make_unique<encoder>();
    make_encoder(settings, *c.encoding);
  } else {
    return CP932CONV_BAD_ARGUMENT;
  }
  return CP932CONV_OK;
}

} // namespace

extern "C" {

int cp932conv_new(const cp932conv_options *options, cp932conv **made) {
  if (made == nullptr) return CP932CONV_BAD_ARGUMENT;
  *made = nullptr;
  if (options == nullptr) return CP932CONV_BAD_ARGUMENT;
  try {
    auto c = std::make_unique<cp932conv>();
    if (const int result = make(*options, *c); result != CP932CONV_OK) return result;
    cp932conv_reset(c.get());
    *made = c.release();
    return CP932CONV_OK;
  } catch (const std::bad_alloc &) {
    return CP932CONV_NO_MEMORY;
  }
}

void cp932conv_set_audit(cp932conv *c, cp932conv_audit audit, void *context) {
  if (c == nullptr) return;
  c->audit = audit;
  c->context = context;
  audit_state &state = audit_of(*c);
  state.sink = audit != nullptr ? relay_item : nullptr;
  state.context = c;
}

uint64_t cp932conv_dropped(const cp932conv *c) {
  if (c == nullptr) return 0;
  return c->decoding ? c->decoding->audit.dropped : c->encoding->audit.dropped;
}

int cp932conv_convert(cp932conv *c, const void *in, size_t in_size, size_t *consumed, void *out,
                      size_t out_size, size_t *written, int final) {
  if (consumed != nullptr) *consumed = 0;
  if (written != nullptr) *written = 0;
  if (c == nullptr || consumed == nullptr || written == nullptr ||
      (in == nullptr && in_size != 0) || (out == nullptr && out_size != 0))
    return CP932CONV_BAD_ARGUMENT;
  const auto *const from = static_cast<const unsigned char *>(in);
  unsigned char *to = static_cast<unsigned char *>(out);
  unsigned char *const end = to + out_size;
  size_t taken = 0;
  auto hand_over = [&] {
    const size_t count = std::min(c->staged_to - c->staged_from, static_cast<size_t>(end - to));
    if (count != 0) std::memcpy(to, c->staged + c->staged_from, count);
    to += count;
    c->staged_from += count;
  };
  hand_over();
  while (c->staged_from == c->staged_to) {
    if (taken == in_size && (!final || c->finished)) break;
    // Straight into the caller's output while it has the room a chunk needs, else through the
    // converter's own.
    const bool direct = static_cast<size_t>(end - to) >= LEAST_OUTPUT_ROOM;
    unsigned char *at = direct ? to : c->staged;
    taken += convert_chunk(*c, from + taken, in_size - taken, final != 0, at,
                           direct ? static_cast<size_t>(end - to) : STAGE_ROOM);
    if (final && taken == in_size) c->finished = true;
    if (direct) {
      to = at;
    } else {
      c->staged_from = 0;
      c->staged_to = static_cast<size_t>(at - c->staged);
      hand_over();
    }
  }
  *consumed = taken;
  *written = static_cast<size_t>(to - static_cast<unsigned char *>(out));
  const bool done = c->staged_from == c->staged_to && taken == in_size && (!final || c->finished);
  return done ? CP932CONV_OK : CP932CONV_MORE_ROOM;
}

int cp932conv_status(const cp932conv *c) {
  if (c == nullptr) return 0;
  return c->decoding ? c->decoding->status : c->encoding->status;
}

void cp932conv_reset(cp932conv *c) {
  if (c == nullptr) return;
  if (c->decoding)
    decoder_begin(*c->decoding, "");
  else
    encoder_begin(*c->encoding, "");
  c->finished = false;
  c->staged_from = c->staged_to = 0;
}

void cp932conv_free(cp932conv *c) {
  delete c;
}

const char *cp932conv_version(void) {
  return CP932CONV_VERSION;
}

} // extern "C"
