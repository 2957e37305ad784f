// SPDX-License-Identifier: MIT
#include "ascii_runs.h"
#include "avx512/kernels.h"
#include "block_loop.h"
#include "cpu.h"
#include "encode.h"
#include "output.h"
#include "portable/encode_steps.h"

#include <algorithm>

namespace {

// Bytes left over from a block (an odd byte, or a high surrogate and a byte of its follower)
// go in front of the next block.
constexpr size_t MOST_CARRIED = 3;
// A step reads 2 bytes (one unit) and writes at most 8, or reads 4 (a high surrogate and its
// follower) and writes at most 2 + 8: at most 5 output bytes per input byte, plus one step
// that starts before the end of a run and reads past it.
constexpr size_t MOST_OUTPUT_PER_BYTE = 5;
constexpr size_t OVERHANG = 2 * ASCII_KERNEL_OVERHANG; // and what the ASCII kernel writes
// The chunk of the fast paths (32 units); they write at most 32 bytes past their output.
constexpr ptrdiff_t KERNEL_CHUNK = 64;

template <bool LITTLE> inline unsigned unit_at(const unsigned char *at) {
  return LITTLE ? (at[1] << 8 | at[0]) : (at[0] << 8 | at[1]);
}

// Encodes the characters with two-byte codes that begin at `from` before `stop`, and returns
// where they end. Kana and kanji come in runs; staying in this loop for the run keeps its
// branches predictable.
template <bool LITTLE>
inline const unsigned char *encode_pairs(const unsigned char *from, const unsigned char *stop,
                                         const unsigned char *end, unsigned char *&to) {
  const uint16_t *table = unicode_to_cp932.data();
  const unsigned char *const last = std::min(stop, end - 1); // a unit must begin before it
  unsigned char *out = to; // a local copy the byte stores cannot alias
  while (from < last) {
    const unsigned code = table[unit_at<LITTLE>(from)];
    if (code < 0x100 || code == NO_CODE) break;
    out[0] = static_cast<unsigned char>(code >> 8);
    out[1] = static_cast<unsigned char>(code);
    out += 2;
    from += 2;
  }
  to = out;
  return from;
}

// Encodes the units that begin in [from, stop) by the rules; a step may read on past `stop` but
// never past `end`. Stops early, returning where, when the bytes left before `end` are not a
// whole step.
//
// The common case takes one lookup and no call: a mapped character that needs no entity.
// With `ascii_as_is` (U+0000-U+007F encode to themselves and m is not given) runs of ASCII
// are narrowed 16 units a step. Everything else goes through put_unicode and put_code.
template <bool LITTLE>
const unsigned char *encode_scalar(const unsigned char *from, const unsigned char *stop,
                                   const unsigned char *end, unsigned char *&to, bool ascii_as_is) {
  const uint16_t *table = unicode_to_cp932.data();
  const bool escape = escape_markup;
  while (from < stop) {
    if (end - from < 2) break;
    const unsigned unit = unit_at<LITTLE>(from);
    if (unit < 0x80 && ascii_as_is) {
      const size_t count = ascii_kernel::narrow_ascii<LITTLE>(from, stop, to);
      from += 2 * count;
      to += count;
      if (count != 0) continue;
    }
    const unsigned code = table[unit];
    if (code < 0x100 && !(escape && is_markup(unit))) {
      *to++ = static_cast<unsigned char>(code);
      from += 2;
      continue;
    }
    if (code != NO_CODE && code >= 0x100) {
      from = encode_pairs<LITTLE>(from, stop, end, to);
      continue;
    }
    if (unit < 0xD800 || unit > 0xDFFF) { // unmapped, or a markup character to escape
      to = put_unicode(to, static_cast<int32_t>(unit));
      from += 2;
    } else if (unit >= 0xDC00) { // a low surrogate without its high surrogate
      to = put_code(to, UNMAPPED);
      from += 2;
    } else {
      if (end - from < 4) break;
      const unsigned next = unit_at<LITTLE>(from + 2);
      if (next < 0xD800 || next > 0xDFFF) {
        to = put_code(to, UNMAPPED);
        to = put_unicode(to, static_cast<int32_t>(next));
      } else if (next >= 0xDC00) {
        to = put_unicode(to,
                         static_cast<int32_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
      } else { // two high surrogates: both are consumed, neither starts a pair
        to = put_code(to, UNMAPPED);
        to = put_code(to, UNMAPPED);
      }
      from += 4;
    }
  }
  return from;
}

// Which fast path encodes whole chunks before the rules take what it leaves.
enum class encode_path { rules, steps, avx512 };

// The steps of the portable encoder, made from the encode table and the settings in force when
// a conversion starts, and made again only when those changed.
uint32_t encode_steps[0x10000];
unsigned steps_table_version = ~0u;
bool steps_escape_markup = false;

void prepare_encode_steps() {
  if (steps_table_version == encode_table_version && steps_escape_markup == escape_markup) return;
  for (unsigned unit = 0; unit < 0x10000; ++unit) {
    const unsigned code = unicode_to_cp932[unit]; // surrogates have none
    const bool slow = code == NO_CODE || (escape_markup && is_markup(unit));
    encode_steps[unit] = slow ? portable::ENCODE_STEP_SLOW : portable::encode_step(code);
  }
  steps_table_version = encode_table_version;
  steps_escape_markup = escape_markup;
}

// Encodes like encode_scalar, handing whole chunks to the fast path first: a chunk it leaves
// (a unit without a code, a surrogate, markup to escape) goes by the rules, then the fast path
// tries again.
template <bool LITTLE>
const unsigned char *encode_run(const unsigned char *from, const unsigned char *stop,
                                const unsigned char *end, unsigned char *&to, bool ascii_as_is,
                                encode_path path) {
  while (path != encode_path::rules && stop - from >= KERNEL_CHUNK) {
    size_t count = 0;
#if defined(HAVE_AVX512_KERNELS)
    if (path == encode_path::avx512) {
      size_t written = 0;
      count = avx512::encode_cp932(from, static_cast<size_t>(stop - from), unicode_to_cp932.data(),
                                   to, written, LITTLE);
      to += written;
    }
#endif
    if (path == encode_path::steps) {
      // Long runs of ASCII and of two-byte characters are faster still in their own loops.
      if (ascii_as_is && unit_at<LITTLE>(from) < 0x80) {
        const size_t ascii = ascii_kernel::narrow_ascii<LITTLE>(from, stop, to);
        from += 2 * ascii;
        to += ascii;
        if (ascii >= 16) continue;
      }
      const unsigned char *const after_pairs = encode_pairs<LITTLE>(from, stop, end, to);
      if (after_pairs - from >= KERNEL_CHUNK) {
        from = after_pairs;
        continue;
      }
      from = after_pairs;
      if (stop - from < KERNEL_CHUNK) break;
      count = 2 * portable::encode_with_steps<LITTLE>(from, static_cast<size_t>(stop - from) / 2,
                                                      encode_steps, to);
    }
    from += count;
    // With a whole chunk left, the fast path stopped at one it leaves to the rules; calling it
    // again there would only stop again.
    if (stop - from < KERNEL_CHUNK) break;
    const unsigned char *const rules_stop = from + KERNEL_CHUNK;
    from = encode_scalar<LITTLE>(from, rules_stop, end, to, ascii_as_is);
    if (from < rules_stop) return from;
  }
  return encode_scalar<LITTLE>(from, stop, end, to, ascii_as_is);
}

bool ascii_encodes_as_is() {
  if (escape_markup) return false;
  for (unsigned character = 0; character < 0x80; ++character)
    if (unicode_to_cp932[character] != character) return false;
  return true;
}

} // namespace

int encode_stream(input_stream &in) {
  set_input_binary(in);
  const bool ascii_as_is = ascii_encodes_as_is();
  // The AVX-512 kernel takes ASCII as encoding to itself, and computes the kana (which no
  // letter changes) by arithmetic; the steps follow the table whatever the letters did.
  const encode_path path = ascii_as_is && active_kernel_level == kernel_level::avx512
                               ? encode_path::avx512
                               : encode_path::steps;
  if (path == encode_path::steps) prepare_encode_steps();
  bool little = input_little_endian;
  bool mark_checked = false;
  const size_t left = convert_blocks<MOST_CARRIED, MOST_OUTPUT_PER_BYTE, OVERHANG>(
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
        return little ? encode_run<true>(from, stop, end, to, ascii_as_is, path)
                      : encode_run<false>(from, stop, end, to, ascii_as_is, path);
      });
  // Whatever is left is an odd byte or a high surrogate at the end: it yields nothing.
  return left == 0 ? STATUS_SUCCESS : STATUS_TRUNCATED;
}
