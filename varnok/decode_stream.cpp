#include "cp932_decode.h"
#include "decode.h"
#include "output.h"
#include "settings.h"

#include <algorithm>

bool little_endian = false;
bool write_bom = false;

namespace {

constexpr size_t INPUT_BLOCK_SIZE = 64 * 1024;
// Every input byte yields at most 4 output bytes (an invalid byte replaced by a surrogate
// pair), so a run of n input bytes fits in 4n bytes of output room.
constexpr size_t MOST_OUTPUT_PER_BYTE = 4;

template <bool LITTLE> inline unsigned char *put_unit(unsigned char *to, unsigned unit) {
  to[LITTLE ? 1 : 0] = static_cast<unsigned char>(unit >> 8);
  to[LITTLE ? 0 : 1] = static_cast<unsigned char>(unit);
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

// Decodes the characters that begin in [from, stop) into `to`; a character may take its
// trail byte from just past `stop`, but never from past `end`. A lead byte that is the last
// byte before `end` is left undecoded: the returned `from` then points at it.
template <bool LITTLE>
const unsigned char *decode_run(const unsigned char *from, const unsigned char *stop,
                                const unsigned char *end, unsigned char *&to, int &status) {
  const int16_t *single = cp932_single.data();
  while (from < stop) {
    unsigned byte = *from;
    unsigned value = static_cast<uint16_t>(single[byte]);
    if (value < 0xFFFE) { // a character
      to = put_unit<LITTLE>(to, value);
      ++from;
    } else if (value == static_cast<uint16_t>(INVALID_BYTE_MARK)) {
      status |= STATUS_INVALID;
      to = put_replacement<LITTLE>(to, status);
      ++from;
    } else if (from + 1 == end) { // lead byte: its trail byte is not here yet
      break;
    } else {
      unsigned trail = from[1];
      if (trail >= 0x40 && trail <= 0xFC && trail != 0x7F) {
        unsigned mapped = static_cast<uint16_t>(double_entry(byte << 8 | trail));
        if (mapped != static_cast<uint16_t>(UNMAPPED_CODE))
          to = put_unit<LITTLE>(to, mapped);
        else
          to = put_replacement<LITTLE>(to, status);
        from += 2;
      } else {
        // A bad trail byte: an ASCII byte (a line feed, say) is not swallowed but decoded on
        // its own next; 0xFD-0xFF go with the lead byte.
        status |= STATUS_INVALID;
        to = put_replacement<LITTLE>(to, status);
        from += trail < 0x80 ? 1 : 2;
      }
    }
  }
  return from;
}

template <bool LITTLE> int decode_all(input_stream &in) {
  // One byte of room in front of the block for a lead byte carried over from the last block.
  static unsigned char buffer[1 + INPUT_BLOCK_SIZE];
  unsigned char *const block = buffer + 1;
  int status = 0;
  bool lead_pending = false;
  for (;;) {
    size_t got = read_input(in, block, INPUT_BLOCK_SIZE);
    if (got == 0) break;
    const unsigned char *from = lead_pending ? buffer : block;
    const unsigned char *const end = block + got;
    lead_pending = false;
    while (from < end) {
      size_t room;
      unsigned char *to = output_begin(room);
      size_t count = std::min(static_cast<size_t>(end - from), room / MOST_OUTPUT_PER_BYTE);
      const unsigned char *stop = from + count;
      const unsigned char *next = decode_run<LITTLE>(from, stop, end, to, status);
      output_commit(to);
      if (next < stop) { // the block ends in a lead byte
        buffer[0] = *next;
        lead_pending = true;
        break;
      }
      from = next;
    }
  }
  // A lead byte with nothing after it yields nothing, not even the replacement.
  if (lead_pending) status |= STATUS_TRUNCATED;
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
