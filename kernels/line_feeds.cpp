// SPDX-License-Identifier: MIT
#include "line_feeds.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

template <line_feed_form FORM> constexpr size_t WIDTH = FORM == line_feed_form::byte ? 1 : 2;

template <line_feed_form FORM> bool is_line_feed(const unsigned char *at) {
  if constexpr (FORM == line_feed_form::byte) return at[0] == 0x0A;
  if constexpr (FORM == line_feed_form::utf16_big) return at[0] == 0 && at[1] == 0x0A;
  return at[0] == 0x0A && at[1] == 0;
}

#if defined(__SSE2__)
// All bytes (units) of 16 bytes that are line feeds, as 0xFF (0xFFFF).
template <line_feed_form FORM> __m128i line_feeds_in(const unsigned char *at) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
  if constexpr (FORM == line_feed_form::byte) return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x0A));
  if constexpr (FORM == line_feed_form::utf16_little)
    return _mm_cmpeq_epi16(bytes, _mm_set1_epi16(0x000A));
  return _mm_cmpeq_epi16(bytes, _mm_set1_epi16(0x0A00)); // 00 0A read as a little-endian unit
}
#endif

// The count, without branches that depend on the text: each byte lane of a register counts the
// hits in it (a UTF-16 line feed counts in both its lanes), summed before a lane can overflow.
template <line_feed_form FORM> size_t count_in(const unsigned char *from, size_t size) {
  size_t count = 0, done = 0;
#if defined(__SSE2__)
  size_t hits = 0; // a UTF-16 line feed hits both its byte lanes
  while (size - done >= 64) {
    // Two registers, so that the subtractions do not wait on each other; a lane gains at most
    // 2 a step, so 127 steps stay below 256.
    __m128i lanes = _mm_setzero_si128(), more = _mm_setzero_si128();
    for (int step = 0; step < 127 && size - done >= 64; ++step, done += 64) {
      lanes = _mm_sub_epi8(lanes, line_feeds_in<FORM>(from + done));
      more = _mm_sub_epi8(more, line_feeds_in<FORM>(from + done + 16));
      lanes = _mm_sub_epi8(lanes, line_feeds_in<FORM>(from + done + 32));
      more = _mm_sub_epi8(more, line_feeds_in<FORM>(from + done + 48));
    }
    const __m128i sums = _mm_add_epi64(_mm_sad_epu8(lanes, _mm_setzero_si128()),
                                       _mm_sad_epu8(more, _mm_setzero_si128()));
    hits += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
            static_cast<size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
  }
  count = hits / WIDTH<FORM>;
#endif
  for (; size - done >= WIDTH<FORM>; done += WIDTH<FORM>)
    count += is_line_feed<FORM>(from + done) ? 1 : 0;
  return count;
}

// The offset just past the last line feed, looked for from the end (it is usually near).
template <line_feed_form FORM> size_t after_last_in(const unsigned char *from, size_t size) {
  size_t end = size - size % WIDTH<FORM>;
#if defined(__SSE2__)
  for (; end >= 16; end -= 16) {
    const unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(line_feeds_in<FORM>(from + end - 16)));
    if (mask != 0) return end - 16 + 32 - static_cast<size_t>(__builtin_clz(mask));
  }
#endif
  for (; end >= WIDTH<FORM>; end -= WIDTH<FORM>)
    if (is_line_feed<FORM>(from + end - WIDTH<FORM>)) return end;
  return 0;
}

template <line_feed_form FORM>
line_feed_count count_line_feeds_in(const unsigned char *from, size_t size) {
  const size_t count = count_in<FORM>(from, size);
  return {count, count == 0 ? 0 : after_last_in<FORM>(from, size)};
}

} // namespace

line_feed_count count_line_feeds(const unsigned char *from, size_t size, line_feed_form form) {
  switch (form) {
  case line_feed_form::byte:
    return count_line_feeds_in<line_feed_form::byte>(from, size);
  case line_feed_form::utf16_big:
    return count_line_feeds_in<line_feed_form::utf16_big>(from, size);
  case line_feed_form::utf16_little:
    return count_line_feeds_in<line_feed_form::utf16_little>(from, size);
  }
  return {0, 0}; // no other value: -Wswitch names a new one here
}
