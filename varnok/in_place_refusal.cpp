// SPDX-License-Identifier: MIT
// Whether a file given to --in-place holds something other than CP932 text: Unicode already
// (varnok's own output among it), which converting again would turn into mojibake.
#include "decode.h"
#include "input.h"
#include "unicode_units.h"

#include <cstring>

namespace {

constexpr size_t CHUNK = 64 * 1024;

// Where the ASCII bytes at `from` end (8 at a time, then one by one).
const unsigned char *skip_ascii(const unsigned char *from, const unsigned char *end) {
  while (end - from >= 8) {
    uint64_t eight;
    std::memcpy(&eight, from, 8);
    if ((eight & 0x8080808080808080ULL) != 0) break;
    from += 8;
  }
  while (from < end && *from < 0x80) ++from;
  return from;
}

} // namespace

// The reasons, in order:
// - FE FF or FF FE first: "begins with a byte order mark" (UTF-16);
// - EF BB BF first: "looks like UTF-8 already";
// - a 00 byte anywhere: "looks like UTF-16 already" (CP932 text never holds one, UTF-16 of any
//   line of text does);
// - well-formed UTF-8 with a character beyond ASCII, perhaps cut inside its last character:
//   "looks like UTF-8 already".
const char *varnok_in_place_refusal(input_stream &in) {
  static unsigned char buffer[4 + CHUNK];
  size_t carried = 0; // the start of a UTF-8 sequence that the next chunk completes
  bool first = true, utf8 = true, non_ascii = false;
  for (;;) {
    const size_t got = read_input(in, buffer + carried, CHUNK);
    if (in.error != 0) return nullptr; // the conversion reports it
    const unsigned char *at = buffer, *const end = buffer + carried + got;
    if (first && end - at >= 2 &&
        ((at[0] == 0xFE && at[1] == 0xFF) || (at[0] == 0xFF && at[1] == 0xFE)))
      return "begins with a byte order mark";
    if (first && end - at >= 3 && at[0] == 0xEF && at[1] == 0xBB && at[2] == 0xBF)
      return "looks like UTF-8 already";
    first = false;
    if (std::memchr(buffer + carried, 0, got) != nullptr) return "looks like UTF-16 already";
    while (utf8) {
      at = skip_ascii(at, end);
      if (at == end) break;
      const utf8_read read = read_utf8(at, static_cast<size_t>(end - at));
      if (read.broken != 0) utf8 = false; // CP932, as it should be
      if (read.length == 0) break;        // that, or a sequence the next chunk completes
      non_ascii = true;
      at += read.length;
    }
    if (got == 0) return utf8 && non_ascii ? "looks like UTF-8 already" : nullptr;
    carried = utf8 ? static_cast<size_t>(end - at) : 0;
    std::memmove(buffer, at, carried);
  }
}
