// SPDX-License-Identifier: MIT
// The UTF-16 and UTF-8 reader and CP932 writer with random letters, references, markup and
// replacement. Checks: the status is 0 or 2 (or 4, 6 with u); block boundaries change nothing;
// every kernel tier gives the same; and from UTF-16 without a replacement code and without the
// characters that go to codes varnok leaves undecoded, the output always decodes cleanly.
#include "cp932_rows.h"
#include "fuzz_support.h"

namespace {

// The encode-only characters go to codes varnok does not decode.
bool has_one_way_character(const std::string &utf16) {
  for (size_t k = 0; k + 1 < utf16.size(); k += 2) {
    unsigned char first = static_cast<unsigned char>(utf16[k]);
    unsigned char second = static_cast<unsigned char>(utf16[k + 1]);
    unsigned be = first << 8 | second, le = second << 8 | first;
    for (unsigned unit : {be, le}) // whichever order the mark settles on
      if (is_encode_only_character(unit)) return true;
  }
  return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_case c;
  if (!start_fuzz_run(data, size, DOSTREL_LETTERS, 0x10000, dostrel_profile, c)) return 0;
  const converted whole = convert_checked(encode_stream, c);
  const int invalid = dostrel_options.utf8 ? STATUS_INVALID : 0; // only UTF-8 can be ill-formed
  if ((whole.status & ~(STATUS_TRUNCATED | invalid)) != 0)
    property_failed("a status bit beyond 2 (and 4 with u)");

  // (In UTF-8 the one-way characters are not told apart here, so only UTF-16 input is checked.)
  if (!c.with_code && !dostrel_options.utf8 && !has_one_way_character(c.input)) {
    reset_process_state();
    const converted decoded = convert_in_memory(decode_stream, whole.out);
    if (decoded.status != 0) property_failed("output that varnok cannot decode");
  }
  return 0;
}
