// SPDX-License-Identifier: MIT
// The UTF-16 reader and CP932 writer with random letters, references, markup and replacement.
// Checks: the status is 0 or 2; block boundaries change nothing; every kernel level gives the
// same; and without a replacement code and without the characters that go to codes varnok
// leaves undecoded, the output always decodes cleanly.
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
  if (!read_fuzz_case(data, size, "gxLmyrzsoijevbdtfnakq", 0x10000, c)) return 0;
  reset_process_state();
  if (apply_letters(dostrel_profile, c.letters, c.with_code, c.code) != KEEP_RUNNING) {
    if (!(c.with_code && c.code >= 0x10000)) property_failed("a valid option group was refused");
    return 0;
  }
  const converted whole = convert_in_memory(encode_stream, c.input);
  if (whole.status != 0 && whole.status != STATUS_TRUNCATED) property_failed("status not 0 or 2");
  expect_same_on_every_level(encode_stream, c.input);
  const converted parts = convert_in_memory(encode_stream, c.input, c.largest_read);
  if (parts.out != whole.out || parts.status != whole.status)
    property_failed("block boundaries changed the output");

  if (!c.with_code && !has_one_way_character(c.input)) {
    reset_process_state();
    const converted decoded = convert_in_memory(decode_stream, whole.out);
    if (decoded.status != 0) property_failed("output that varnok cannot decode");
  }
  return 0;
}
