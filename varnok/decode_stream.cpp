// SPDX-License-Identifier: MIT
#include "ascii_runs.h"
#include "avx512/kernels.h"
#include "block_loop.h"
#include "cp932_bytes.h"
#include "cp932_decode.h"
#include "cpu.h"
#include "decode.h"
#include "output.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// Every character that starts in a run yields at most 4 output bytes (an invalid byte replaced
// by a surrogate pair), so a run of n input bytes fits in 4n bytes of output room, plus what
// the ASCII kernel writes past its units.
constexpr size_t MOST_OUTPUT_PER_BYTE = 4;
constexpr size_t OUTPUT_SLACK = 4 * ASCII_KERNEL_OVERHANG;
// The AVX-512 kernel's block; it writes at most 64 bytes past its output.
constexpr ptrdiff_t KERNEL_BLOCK = 64;
static_assert(OUTPUT_SLACK >= 64);

constexpr uint16_t byte_swapped(uint16_t value) {
  return static_cast<uint16_t>(value << 8 | value >> 8);
}

// One 16-bit store in the byte order of the output.
template <bool LITTLE> inline unsigned char *put_unit(unsigned char *to, unsigned unit) {
  uint16_t bytes = static_cast<uint16_t>(unit);
  if (LITTLE != (std::endian::native == std::endian::little)) bytes = byte_swapped(bytes);
  std::memcpy(to, &bytes, 2);
  return to + 2;
}

template <bool LITTLE> unsigned char *put_value(unsigned char *to, int32_t value, int &status) {
  if (value < 0x10000) return put_unit<LITTLE>(to, static_cast<unsigned>(value) & 0xFFFF);
  if (value > 0x10FFFF) {
    status |= STATUS_RANGE;
    return to;
  }
  unsigned offset = static_cast<unsigned>(value - 0x10000);
  to = put_unit<LITTLE>(to, 0xD800 + (offset >> 10));
  return put_unit<LITTLE>(to, 0xDC00 + (offset & 0x3FF));
}

// What stands in for a byte or code that yields no character.
template <bool LITTLE> inline unsigned char *put_replacement(unsigned char *to, int &status) {
  return replace_enabled ? put_value<LITTLE>(to, replace_code, status) : to;
}

// Decodes the one character at `from` the careful way: invalid bytes, bad trail bytes,
// unmapped codes. Returns where the next character begins, or `from` itself for a lead byte
// whose trail byte lies past `end`.
template <bool LITTLE>
const unsigned char *decode_one(const unsigned char *from, const unsigned char *end,
                                unsigned char *&to, int &status) {
  const unsigned byte = *from;
  const unsigned value = static_cast<uint16_t>(cp932_single[byte]);
  if (value < 0xFFFE) { // a character
    to = put_unit<LITTLE>(to, value);
    return from + 1;
  }
  if (value == static_cast<uint16_t>(INVALID_BYTE_MARK)) {
    status |= STATUS_INVALID;
    to = put_replacement<LITTLE>(to, status);
    return from + 1;
  }
  if (from + 1 == end) return from; // a lead byte whose trail byte is not here yet
  const unsigned trail = from[1];
  if (is_cp932_trail_byte(trail)) {
    const unsigned mapped = static_cast<uint16_t>(double_entry(byte << 8 | trail));
    if (mapped != static_cast<uint16_t>(UNMAPPED_CODE))
      to = put_unit<LITTLE>(to, mapped);
    else
      to = put_replacement<LITTLE>(to, status); // well formed, but no character
    return from + 2;
  }
  // A bad trail byte: an ASCII byte (a line feed, say) is not swallowed but decoded on its own
  // next; 0xFD-0xFF go with the lead byte.
  status |= STATUS_INVALID;
  to = put_replacement<LITTLE>(to, status);
  return from + (trail < 0x80 ? 1 : 2);
}

// Decodes the mapped two-byte characters that begin at `from` before `stop` and returns where
// they end: at a byte that is no lead byte, a pair that is not mapped or not whole, or `stop`.
// Two-byte characters come in runs (kana, kanji), and staying in this loop for the run keeps
// its branches predictable. The entries of the trail bytes 0x7F and 0xFD-0xFF are unmapped, so
// one comparison guards the lookup; decode_one tells the rare cases apart.
template <bool LITTLE>
inline const unsigned char *decode_pairs(const unsigned char *from, const unsigned char *stop,
                                         const unsigned char *end, unsigned char *&to) {
  const int16_t *single = cp932_single.data();
  const unsigned char *const last = std::min(stop, end - 1); // a pair must begin before it
  unsigned char *out = to; // a local copy the byte stores cannot alias
  while (from < last) {
    const unsigned lead = from[0];
    const unsigned trail = from[1];
    if (single[lead] != LEAD_BYTE_MARK || trail < 0x40) break;
    const unsigned mapped = static_cast<uint16_t>(double_entry(lead << 8 | trail));
    if (mapped == static_cast<uint16_t>(UNMAPPED_CODE)) break;
    out = put_unit<LITTLE>(out, mapped);
    from += 2;
  }
  to = out;
  return from;
}

// Decodes the characters that begin in [from, stop) into `to` by the scalar rules; a character
// may take its trail byte from just past `stop`, but never from past `end`. A lead byte that
// is the last byte before `end` is left undecoded: the returned pointer then points at it.
//
// With `ascii_as_is` (bytes 0x00-0x7F decode to themselves, as they do unless y or o is given)
// runs of ASCII are widened 16 bytes a step.
template <bool LITTLE>
const unsigned char *decode_scalar(const unsigned char *from, const unsigned char *stop,
                                   const unsigned char *end, unsigned char *&to, int &status,
                                   bool ascii_as_is) {
  const int16_t *single = cp932_single.data();
  while (from < stop) {
    const unsigned byte = *from;
    if (byte < 0x80 && ascii_as_is) {
      const size_t count = ascii_kernel::widen_ascii<LITTLE>(from, stop, to);
      from += count;
      to += 2 * count;
      if (count != 0) continue;
    }
    const unsigned value = static_cast<uint16_t>(single[byte]);
    if (value < 0xFFFE) { // a one-byte character
      to = put_unit<LITTLE>(to, value);
      ++from;
      continue;
    }
    if (value == static_cast<uint16_t>(LEAD_BYTE_MARK)) {
      const unsigned char *after_run = decode_pairs<LITTLE>(from, stop, end, to);
      if (after_run != from) {
        from = after_run;
        continue;
      }
    }
    const unsigned char *next = decode_one<LITTLE>(from, end, to, status);
    if (next == from) break;
    from = next;
  }
  return from;
}

// Decodes like decode_scalar, handing whole blocks to the AVX-512 kernel when `use_kernel`:
// a block the kernel does not take (an invalid byte, an unmapped code...) goes by the scalar
// rules, then the kernel tries again.
template <bool LITTLE>
const unsigned char *decode_run(const unsigned char *from, const unsigned char *stop,
                                const unsigned char *end, unsigned char *&to, int &status,
                                bool ascii_as_is, bool use_kernel) {
#if defined(HAVE_AVX512_KERNELS)
  while (use_kernel && stop - from > KERNEL_BLOCK) {
    size_t written = 0;
    const size_t count = avx512::decode_cp932(from, static_cast<size_t>(stop - from),
                                              cp932_double.data(), to, written, LITTLE);
    from += count;
    to += written;
    // With a whole block left, the kernel stopped at one it leaves to the rules; calling it
    // again there would only stop again.
    if (stop - from <= KERNEL_BLOCK) break;
    const unsigned char *const scalar_stop = from + KERNEL_BLOCK;
    from = decode_scalar<LITTLE>(from, scalar_stop, end, to, status, ascii_as_is);
    if (from < scalar_stop) return from;
  }
#else
  (void)use_kernel;
#endif
  return decode_scalar<LITTLE>(from, stop, end, to, status, ascii_as_is);
}

bool ascii_decodes_as_is() {
  for (unsigned byte = 0; byte < 0x80; ++byte)
    if (cp932_single[byte] != static_cast<int16_t>(byte)) return false;
  return true;
}

template <bool LITTLE> int decode_all(input_stream &in) {
  const bool ascii_as_is = ascii_decodes_as_is();
  // The kernel takes ASCII as decoding to itself, and computes the kana (which no letter
  // changes) by arithmetic.
  const bool use_kernel = ascii_as_is && active_kernel_level == kernel_level::avx512;
  int status = 0;
  const size_t left = convert_blocks<1, MOST_OUTPUT_PER_BYTE, OUTPUT_SLACK>(
      in, [&](const unsigned char *from, const unsigned char *stop, const unsigned char *end,
              unsigned char *&to) {
        return decode_run<LITTLE>(from, stop, end, to, status, ascii_as_is, use_kernel);
      });
  // A lead byte with nothing after it yields nothing, not even the replacement.
  if (left != 0) status |= STATUS_TRUNCATED;
  return status;
}

} // namespace

unsigned char *put_utf16(unsigned char *to, int32_t value, int &status) {
  return little_endian ? put_value<true>(to, value, status) : put_value<false>(to, value, status);
}

int decode_stream(input_stream &in) {
  set_input_binary(in);
  return little_endian ? decode_all<true>(in) : decode_all<false>(in);
}
