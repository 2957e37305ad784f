// SPDX-License-Identifier: MIT
#include "line_feeds.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

template <line_feed_form FORM> bool is_line_feed(const unsigned char *at) {
  if constexpr (FORM == line_feed_form::byte) return at[0] == 0x0A;
  if constexpr (FORM == line_feed_form::utf16_big) return at[0] == 0 && at[1] == 0x0A;
  return at[0] == 0x0A && at[1] == 0;
}

template <line_feed_form FORM> line_feed_count count_in(const unsigned char *from, size_t size) {
  constexpr size_t WIDTH = FORM == line_feed_form::byte ? 1 : 2;
  line_feed_count result{0, 0};
  size_t done = 0;
#if defined(__SSE2__)
  // A mask bit per byte of 64; in UTF-16 a line feed sets the bits of both its bytes, so the
  // count is halved at the end and the highest bit is still the last byte of the last one.
  const __m128i wanted = FORM == line_feed_form::byte           ? _mm_set1_epi8(0x0A)
                         : FORM == line_feed_form::utf16_little ? _mm_set1_epi16(0x000A)
                                                                : _mm_set1_epi16(0x0A00);
  size_t marked_bits = 0;
  for (; size - done >= 64; done += 64) {
    uint64_t mask = 0;
    for (int part = 0; part < 4; ++part) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + done) + part);
      const __m128i hit =
          WIDTH == 1 ? _mm_cmpeq_epi8(bytes, wanted) : _mm_cmpeq_epi16(bytes, wanted);
      mask |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(hit))) << (16 * part);
    }
    if (mask == 0) continue;
    marked_bits += static_cast<size_t>(__builtin_popcountll(mask));
    result.after_last = done + 64 - static_cast<size_t>(__builtin_clzll(mask));
  }
  result.count = marked_bits / WIDTH;
#endif
  for (; size - done >= WIDTH; done += WIDTH) {
    if (!is_line_feed<FORM>(from + done)) continue;
    ++result.count;
    result.after_last = done + WIDTH;
  }
  return result;
}

} // namespace

line_feed_count count_line_feeds(const unsigned char *from, size_t size, line_feed_form form) {
  switch (form) {
  case line_feed_form::utf16_big:
    return count_in<line_feed_form::utf16_big>(from, size);
  case line_feed_form::utf16_little:
    return count_in<line_feed_form::utf16_little>(from, size);
  default:
    return count_in<line_feed_form::byte>(from, size);
  }
}
