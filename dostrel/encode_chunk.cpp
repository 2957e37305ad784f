// SPDX-License-Identifier: MIT
// An encoder's conversion of one chunk: the byte order mark settles the input's form, then the
// kernel tier converts what it can and the rules take each character it refuses (no code, a
// surrogate, ill-formed UTF-8, markup to escape), one at a time.
#include "encode_rules.h"
#include "encoder.h"
#include "status.h"
#include "tiers.h"
#include "unicode_units.h"

#include <cstring>

namespace {

// A broken surrogate at `at`: the replacement or nothing.
inline unsigned char *put_broken_surrogate(encoder &e, unsigned char *to, unsigned unit,
                                           const unsigned char *at) {
  if (e.settings.audit)
    audit_loss(e.audit, at, 2, e.settings.replace, {{"lone surrogate 0x", unit, 4}});
  return put_code(e.settings, to, UNMAPPED);
}

// Encodes the one unit at `from`, or a surrogate pair, by the rules. Returns where the next
// begins, or `from` itself when the bytes before `end` are not a whole step.
template <unicode_form FORM>
const unsigned char *encode_one(encoder &e, const unsigned char *from, const unsigned char *end,
                                unsigned char *&to) {
  if (end - from < 2) return from;
  const unsigned unit = load_unit<FORM>(from);
  if (unit < 0xD800 || unit > 0xDFFF) {
    to = put_unicode(e, to, static_cast<int32_t>(unit), from, 2);
    return from + 2;
  }
  if (unit >= 0xDC00) { // a low surrogate without its high surrogate
    to = put_broken_surrogate(e, to, unit, from);
    return from + 2;
  }
  if (end - from < 4) return from;
  const unsigned next = load_unit<FORM>(from + 2);
  if (next < 0xD800 || next > 0xDFFF) {
    to = put_broken_surrogate(e, to, unit, from);
    to = put_unicode(e, to, static_cast<int32_t>(next), from + 2, 2);
  } else if (next >= 0xDC00) {
    const int32_t character =
        static_cast<int32_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
    to = put_unicode(e, to, character, from, 4);
  } else { // two high surrogates: both are consumed, neither starts a pair
    to = put_broken_surrogate(e, to, unit, from);
    to = put_broken_surrogate(e, to, next, from + 2);
  }
  return from + 4;
}

// With w, the line for a maximal ill-formed subpart of `length` bytes (at most 3) at `at`.
[[gnu::cold]] void report_broken_utf8(encoder &e, const unsigned char *at, size_t length) {
  audit_piece pieces[4] = {{"invalid UTF-8"}};
  for (size_t k = 0; k < length && k < 3; ++k) pieces[k + 1] = {" 0x", at[k], 2};
  audit_loss(e.audit, at, length, e.settings.replace, pieces, 1 + (length < 3 ? length : 3));
}

// Encodes the one UTF-8 character at `from` by the rules: a well-formed one as its value, a
// maximal ill-formed subpart as one broken character (dropped or the p code, and
// STATUS_INVALID). Returns where the next begins, or `from` itself for a well-formed prefix
// that `end` cuts.
const unsigned char *encode_one_utf8(encoder &e, const unsigned char *from,
                                     const unsigned char *end, unsigned char *&to, int &status) {
  const utf8_read read = read_utf8(from, static_cast<size_t>(end - from));
  if (read.length != 0) {
    to = put_unicode(e, to, static_cast<int32_t>(read.character), from, read.length);
    return from + read.length;
  }
  if (read.broken == 0) return from;
  status |= STATUS_INVALID;
  if (e.settings.audit) report_broken_utf8(e, from, read.broken);
  to = put_code(e.settings, to, UNMAPPED);
  return from + read.broken;
}

template <unicode_form FORM>
const unsigned char *encode_run(encoder &e, const unsigned char *from, const unsigned char *stop,
                                const unsigned char *end, unsigned char *&to, kernel_state &state,
                                int &status) {
  const encode_kernel kernel = active_kernel_tier().encode[FORM];
  const encode_kernel portable = portable_kernel_tier().encode[FORM];
  return convert_range(kernel, portable, from, stop, end, to, state, e.setup,
                       [&](const unsigned char *at) {
                         if constexpr (FORM == unicode_form::utf8)
                           return encode_one_utf8(e, at, end, to, status);
                         else
                           return encode_one<FORM>(e, at, end, to);
                       });
}

const unsigned char *encode_any(encoder &e, unicode_form form, const unsigned char *from,
                                const unsigned char *stop, const unsigned char *end,
                                unsigned char *&to, kernel_state &state, int &status) {
  static constexpr auto RUNS = per_form([](auto of) { return &encode_run<of.value>; });
  return RUNS[static_cast<size_t>(form)](e, from, stop, end, to, state, status);
}

// True when the `available` bytes at `from` begin with the mark of `form`.
bool begins_with_mark(const unsigned char *from, size_t available, unicode_form form) {
  const unicode_form_traits &traits = traits_of(form);
  return available >= traits.mark_bytes && std::memcmp(from, traits.mark, traits.mark_bytes) == 0;
}

// The form of an input whose first bytes are `from` (`available` of them, all there are when
// `at_end`), and the length of its byte order mark; false while those bytes may still begin a
// mark. UTF-16 input has a mark of two bytes or none; UTF-8 input (u) may also begin with a
// UTF-16 mark, or with EF BB BF, which is skipped.
bool settle_form(const encoder_settings &settings, const unsigned char *from, size_t available,
                 bool at_end, unicode_form &form, size_t &mark) {
  mark = 0;
  if (!settings.utf8) {
    if (available < 2) return false; // a single byte is cut, whatever it is
    form = settings.little_endian ? unicode_form::utf16_little : unicode_form::utf16_big;
  } else {
    bool may_begin_mark = false; // the bytes so far are the start of a longer mark
    for (const unicode_form_traits &traits : FORM_TRAITS)
      may_begin_mark |= available > 0 && available < traits.mark_bytes &&
                        std::memcmp(from, traits.mark, available) == 0;
    if (may_begin_mark && !at_end) return false;
    form = unicode_form::utf8;
    if (begins_with_mark(from, available, unicode_form::utf8)) mark = traits_of(form).mark_bytes;
  }
  for (const unicode_form utf16 : {unicode_form::utf16_big, unicode_form::utf16_little})
    if (begins_with_mark(from, available, utf16)) form = utf16, mark = traits_of(utf16).mark_bytes;
  return true;
}

} // namespace

size_t encode_chunk(encoder &e, const unsigned char *in, size_t size, bool final,
                    unsigned char *&to, size_t room) {
  // Local copies that the output's stores cannot alias.
  kernel_state state = e.kernel;
  int status = 0;
  const size_t taken =
      convert_chunk<ENCODER_MOST_CARRIED, ENCODER_MOST_OUTPUT_PER_BYTE, KERNEL_OVERWRITE>(
          e.chunks, e.settings.audit ? &e.audit : nullptr, in, size, final, to, room,
          [&](const unsigned char *from, const unsigned char *stop, const unsigned char *end,
              unsigned char *&out, bool at_end) {
            const unsigned char *next = from;
            if (!e.form_settled) {
              // The byte order mark is looked for only at the start; it wins over L and u.
              size_t mark = 0;
              e.form_settled = settle_form(e.settings, from, static_cast<size_t>(end - from),
                                           at_end, e.form, mark);
              if (e.form_settled) {
                next = from + mark;
                if (e.settings.audit) audit_line_feeds(e.audit, traits_of(e.form).line_feeds);
              }
            }
            if (e.form_settled) next = encode_any(e, e.form, next, stop, end, out, state, status);
            // What the end of the input cuts yields nothing.
            if (at_end && next < stop && e.settings.audit)
              audit_loss(e.audit, next, static_cast<size_t>(stop - next), false,
                         {{"input ends inside a character"}});
            return next;
          });
  e.kernel = state;
  e.status |= status;
  // Whatever is left is cut: an odd byte, a high surrogate, a UTF-8 prefix.
  if (final && taken == size && e.chunks.left_at_end != 0) e.status |= STATUS_TRUNCATED;
  return taken;
}

void encoder_begin(encoder &e, const char *name) {
  e.chunks = {};
  e.kernel = {};
  e.kernel.queue = e.queue.get();
  e.status = 0;
  e.form_settled = false;
  e.form = unicode_form::utf16_big;
  audit_input_begin(e.audit, name);
}
