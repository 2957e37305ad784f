// SPDX-License-Identifier: MIT
// A decoder's conversion of one chunk: the kernel tier converts what it can, the rules here take
// each character it refuses (invalid bytes, bad trail bytes, codes without a character), one at
// a time.
#include "cp932_bytes.h"
#include "decoder.h"
#include "status.h"
#include "tiers.h"
#include "unicode_units.h"

#include <cstring>

namespace {

// Every byte that starts a character yields at most one character, or the p value in its
// place, which may be any value up to U+10FFFF: so a run of n input bytes fits in n times the
// form's longest character, plus what a kernel writes past its output.
static_assert(ASCII_BYTES_LETTERS_PATCH <= MOST_ASCII_PATCHES, "the kernels' ASCII patches");
static_assert(traits_of(unicode_form::utf8).longest_character >= 3,
              "a one-byte code (halfwidth katakana) takes 3 bytes of UTF-8");

template <unicode_form FORM> unsigned char *put_value(unsigned char *to, int32_t value) {
  // The p bound keeps values below 0x110000, and for UTF-8 the option check keeps them scalar
  // values; in UTF-16 negative ones write their low 16 bits.
  if constexpr (FORM == unicode_form::utf8) {
    return store_utf8(to, static_cast<uint32_t>(value));
  } else {
    if (value < 0x10000) {
      store_unit<FORM>(to, static_cast<unsigned>(value) & 0xFFFF);
      return to + 2;
    }
    const unsigned offset = static_cast<unsigned>(value - 0x10000);
    store_unit<FORM>(to, 0xD800 + (offset >> 10));
    store_unit<FORM>(to + 2, 0xDC00 + (offset & 0x3FF));
    return to + 4;
  }
}

// What stands in for a byte or code that yields no character.
template <unicode_form FORM>
inline unsigned char *put_replacement(const decoder_settings &settings, unsigned char *to) {
  return settings.replace ? put_value<FORM>(to, settings.replacement) : to;
}

// Decodes the one character at `from` by the rules: invalid bytes, bad trail bytes, unmapped
// codes, and any other. Returns where the next character begins, or `from` itself for a lead
// byte whose trail byte lies past `end`.
template <unicode_form FORM>
const unsigned char *decode_one(decoder &d, const unsigned char *from, const unsigned char *end,
                                unsigned char *&to, int &status) {
  const decoder_settings &settings = d.settings;
  const unsigned byte = *from;
  const unsigned value = static_cast<uint16_t>(d.setup.single[byte]);
  if (value < 0xFFFE) { // a character
    to = store_bmp<FORM>(to, value);
    return from + 1;
  }
  if (value == static_cast<uint16_t>(INVALID_BYTE_MARK)) {
    status |= STATUS_INVALID;
    if (settings.audit)
      audit_loss(d.audit, from, 1, settings.replace, {{"invalid byte 0x", byte, 2}});
    to = put_replacement<FORM>(settings, to);
    return from + 1;
  }
  if (from + 1 == end) return from; // a lead byte whose trail byte is not here yet
  const unsigned trail = from[1];
  if (is_cp932_trail_byte(trail)) {
    const unsigned mapped =
        static_cast<uint16_t>(d.setup.double_table[(byte << 8 | trail) - DOUBLE_FIRST_CODE]);
    if (mapped != static_cast<uint16_t>(UNMAPPED_CODE)) {
      to = store_bmp<FORM>(to, mapped);
    } else { // well formed, but no character
      if (settings.audit)
        audit_loss(d.audit, from, 2, settings.replace,
                   {{"code 0x", byte << 8 | trail, 4}, {" has no character"}});
      to = put_replacement<FORM>(settings, to);
    }
    return from + 2;
  }
  // A bad trail byte that is a character of its own (ASCII, a line feed say; with c also
  // 0xFD-0xFF) is not swallowed but decoded on its own next; 0xFD-0xFF without c go with the
  // lead byte.
  status |= STATUS_INVALID;
  const size_t length = static_cast<uint16_t>(d.setup.single[trail]) < 0xFFFE ? 1 : 2;
  if (settings.audit)
    audit_loss(d.audit, from, length, settings.replace,
               {{"lead byte 0x", byte, 2}, {" followed by 0x", trail, 2}});
  to = put_replacement<FORM>(settings, to);
  return from + length;
}

template <unicode_form FORM>
size_t decode_chunk_as(decoder &d, const unsigned char *in, size_t size, bool final,
                       unsigned char *&to, size_t room) {
  const decode_kernel kernel = decode_kernel_for(active_kernel_tier(), FORM, d.setup);
  const decode_kernel portable = portable_kernel_tier().decode[FORM];
  // Local copies that the output's stores cannot alias.
  kernel_state state = d.kernel;
  int status = 0;
  const size_t taken = convert_chunk<1, traits_of(FORM).longest_character, KERNEL_OVERWRITE>(
      d.chunks, d.settings.audit ? &d.audit : nullptr, in, size, final, to, room,
      [&](const unsigned char *from, const unsigned char *stop, const unsigned char *end,
          unsigned char *&out, bool at_end) {
        from = convert_range(
            kernel, portable, from, stop, end, out, state, d.setup,
            [&](const unsigned char *at) { return decode_one<FORM>(d, at, end, out, status); });
        // A lead byte with nothing after it yields nothing, not even the replacement.
        if (at_end && from < stop && d.settings.audit)
          audit_loss(d.audit, from, 1, false, {{"input ends after lead byte 0x", *from, 2}});
        return from;
      });
  d.kernel = state;
  d.status |= status;
  if (final && taken == size && d.chunks.left_at_end != 0) d.status |= STATUS_TRUNCATED;
  return taken;
}

} // namespace

size_t decode_chunk(decoder &d, const unsigned char *in, size_t size, bool final,
                    unsigned char *&to, size_t room) {
  if (d.mark_pending) {
    const unicode_form_traits &traits = traits_of(d.settings.form);
    std::memcpy(to, traits.mark, traits.mark_bytes);
    to += traits.mark_bytes;
    room -= traits.mark_bytes;
    d.mark_pending = false;
  }
  static constexpr auto CHUNKS = per_form([](auto form) { return &decode_chunk_as<form.value>; });
  return CHUNKS[static_cast<size_t>(d.settings.form)](d, in, size, final, to, room);
}
