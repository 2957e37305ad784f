// SPDX-License-Identifier: MIT
// The encoding loop: the byte order mark, then the kernel tier converts what it can and the
// rules here take each unit it refuses (no code, a surrogate, markup to escape), one at a time.
#include "block_loop.h"
#include "encode.h"
#include "output.h"
#include "setup.h"
#include "tiers.h"
#include "utf16_units.h"

namespace {

// Bytes left over from a block (an odd byte, or a high surrogate and a byte of its follower)
// go in front of the next block.
constexpr size_t MOST_CARRIED = 3;
// A unit (2 bytes) yields at most 8 bytes (a reference), a high surrogate and its follower (4
// bytes) at most 2 + 8: at most 5 output bytes per input byte, plus one step that starts
// before the end of a run and reads past it.
constexpr size_t MOST_OUTPUT_PER_BYTE = 5;

encode_setup kernel_setup; // what the kernels read, made by prepare_encode_stream

// Encodes the one unit at `from`, or a surrogate pair, by the rules. Returns where the next
// begins, or `from` itself when the bytes before `end` are not a whole step.
template <unicode_form FORM>
const unsigned char *encode_one(const unsigned char *from, const unsigned char *end,
                                unsigned char *&to) {
  if (end - from < 2) return from;
  const unsigned unit = load_unit<FORM>(from);
  if (unit < 0xD800 || unit > 0xDFFF) {
    to = put_unicode(to, static_cast<int32_t>(unit));
    return from + 2;
  }
  if (unit >= 0xDC00) { // a low surrogate without its high surrogate
    to = put_code(to, UNMAPPED);
    return from + 2;
  }
  if (end - from < 4) return from;
  const unsigned next = load_unit<FORM>(from + 2);
  if (next < 0xD800 || next > 0xDFFF) {
    to = put_code(to, UNMAPPED);
    to = put_unicode(to, static_cast<int32_t>(next));
  } else if (next >= 0xDC00) {
    to = put_unicode(to, static_cast<int32_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
  } else { // two high surrogates: both are consumed, neither starts a pair
    to = put_code(to, UNMAPPED);
    to = put_code(to, UNMAPPED);
  }
  return from + 4;
}

template <unicode_form FORM>
const unsigned char *encode_run(const unsigned char *from, const unsigned char *stop,
                                const unsigned char *end, unsigned char *&to, kernel_state &state) {
  const encode_kernel kernel = active_kernel_tier().encode[static_cast<size_t>(FORM)];
  while (from < stop) {
    from += kernel(from, static_cast<size_t>(stop - from), static_cast<size_t>(end - from), to,
                   state, kernel_setup);
    if (from >= stop) break;
    const unsigned char *const next = encode_one<FORM>(from, end, to);
    if (next == from) break;
    from = next;
  }
  return from;
}

} // namespace

void prepare_encode_stream() {
  static const uint16_t MARKUP[] = {0x22, 0x26, 0x3C, 0x3E};
  kernel_setup = make_encode_setup(unicode_to_cp932.data(), MARKUP, escape_markup ? 4 : 0);
}

int encode_stream(input_stream &in) {
  set_input_binary(in);
  bool little = input_little_endian;
  bool mark_checked = false;
  kernel_state state; // fresh for every input
  const size_t left = convert_blocks<MOST_CARRIED, MOST_OUTPUT_PER_BYTE, KERNEL_OVERWRITE>(
      in, [&](const unsigned char *from, const unsigned char *stop, const unsigned char *end,
              unsigned char *&to) {
        if (!mark_checked) {
          if (end - from < 2) return from;
          // A byte order mark is looked for only in the first two bytes, and wins over L.
          if (from[0] == 0xFE && from[1] == 0xFF)
            little = false, from += 2;
          else if (from[0] == 0xFF && from[1] == 0xFE)
            little = true, from += 2;
          mark_checked = true;
        }
        return little ? encode_run<unicode_form::utf16_little>(from, stop, end, to, state)
                      : encode_run<unicode_form::utf16_big>(from, stop, end, to, state);
      });
  // Whatever is left is an odd byte or a high surrogate at the end: it yields nothing.
  return left == 0 ? STATUS_SUCCESS : STATUS_TRUNCATED;
}
