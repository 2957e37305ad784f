// SPDX-License-Identifier: MIT
// Whether a file given to --in-place holds something other than what the run reads: a file
// converted already (CP932) or text of the other Unicode form.
#include "dostrel_settings.h"
#include "encode.h"
#include "input.h"

#include <cstring>

// A file that begins with a UTF-16 byte order mark is UTF-16 whatever the letters say, and is
// converted. Otherwise:
// - reading UTF-8 (u), a 00 byte anywhere: "looks like UTF-16 already" (UTF-8 and CP932 text
//   never hold one; UTF-16 of any line of text does, and ASCII in UTF-16 is valid UTF-8);
// - reading UTF-16, no 00 byte at all: "does not look like UTF-16" (CP932 or UTF-8, whose byte
//   pairs may all happen to be characters).
// An empty file is empty in every form.
const char *dostrel_in_place_refusal(input_stream &in) {
  static unsigned char buffer[64 * 1024];
  bool first = true, zero = false;
  for (size_t got; !zero && (got = read_input(in, buffer, sizeof buffer)) != 0;) {
    if (first && got >= 2 &&
        ((buffer[0] == 0xFE && buffer[1] == 0xFF) || (buffer[0] == 0xFF && buffer[1] == 0xFE)))
      return nullptr;
    first = false;
    zero = std::memchr(buffer, 0, got) != nullptr;
  }
  if (in.error != 0 || first) return nullptr; // the conversion reports the error; empty is empty
  if (dostrel_options.utf8) return zero ? "looks like UTF-16 already" : nullptr;
  return zero ? nullptr : "does not look like UTF-16";
}
