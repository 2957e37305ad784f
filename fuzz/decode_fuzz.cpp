// SPDX-License-Identifier: MIT
// The CP932 decoder with random letters and replacement values. Checks: the output is well-
// formed UTF-8 with u, else whole UTF-16 units, well formed when the replacement is a scalar
// value; the status holds only the defined bits; block boundaries change nothing; every kernel
// tier gives the same; and a text of chosen codes comes back unchanged through the encoder, in
// UTF-16 and in UTF-8.
#include "fuzz_support.h"

namespace {

bool well_formed_utf16(const std::string &bytes, bool little) {
  bool want_low = false;
  for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
    unsigned char first = static_cast<unsigned char>(bytes[k]);
    unsigned char second = static_cast<unsigned char>(bytes[k + 1]);
    unsigned unit = little ? (second << 8 | first) : (first << 8 | second);
    bool high = unit >= 0xD800 && unit <= 0xDBFF, low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (want_low != low) return false;
    want_low = high;
  }
  return !want_low;
}

// True when `bytes` is well-formed UTF-8 (Unicode's table of well-formed byte sequences).
bool well_formed_utf8(const std::string &bytes) {
  for (size_t k = 0; k < bytes.size();) {
    const unsigned lead = static_cast<unsigned char>(bytes[k]);
    const unsigned length = lead < 0x80   ? 1
                            : lead < 0xC2 ? 0
                            : lead < 0xE0 ? 2
                            : lead < 0xF0 ? 3
                            : lead < 0xF5 ? 4
                                          : 0;
    if (length == 0 || k + length > bytes.size()) return false;
    for (unsigned n = 1; n < length; ++n) {
      const unsigned byte = static_cast<unsigned char>(bytes[k + n]);
      unsigned first = 0x80, last = 0xBF;
      if (n == 1 && lead == 0xE0) first = 0xA0;
      if (n == 1 && lead == 0xED) last = 0x9F;
      if (n == 1 && lead == 0xF0) first = 0x90;
      if (n == 1 && lead == 0xF4) last = 0x8F;
      if (byte < first || byte > last) return false;
    }
    k += length;
  }
  return true;
}

// The characters of `data` whose code is the one the encoder chooses for their value, put back
// together: such a text must survive decoding and encoding unchanged.
std::string chosen_codes(const std::string &data) {
  std::string kept;
  for (size_t at = 0; at < data.size();) {
    unsigned byte = static_cast<unsigned char>(data[at]);
    int16_t entry = cp932_single[byte];
    if (entry == LEAD_BYTE_MARK && at + 1 < data.size()) {
      unsigned code = byte << 8 | static_cast<unsigned char>(data[at + 1]);
      if (is_cp932_trail_byte(code & 0xFF) && double_entry(code) != UNMAPPED_CODE &&
          unicode_to_cp932[static_cast<uint16_t>(double_entry(code))] == code)
        kept += data.substr(at, 2);
      at += 2;
    } else {
      if (entry >= 0 || entry < INVALID_BYTE_MARK) // a character (values from U+8000 are < 0)
        if (unicode_to_cp932[static_cast<uint16_t>(entry)] == byte) kept += data[at];
      at += 1;
    }
  }
  return kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_case c;
  if (!start_fuzz_run(data, size, VARNOK_LETTERS, 0x110000, varnok_profile, c)) return 0;
  const converted whole = convert_checked(decode_stream, c);
  if ((whole.status & ~(STATUS_TRUNCATED | STATUS_INVALID)) != 0)
    property_failed("a status bit beyond 2 and 4");
  const bool scalar_replacement = !c.with_code || (c.code >= 0 && c.code <= 0x10FFFF &&
                                                   !(c.code >= 0xD800 && c.code <= 0xDFFF));
  if (varnok_options.form ==
      unicode_form::utf8) { // the option check lets only scalar values through
    if (!well_formed_utf8(whole.out)) property_failed("ill-formed UTF-8");
  } else {
    if (whole.out.size() % 2 != 0) property_failed("odd number of output bytes");
    if (scalar_replacement &&
        !well_formed_utf16(whole.out, varnok_options.form == unicode_form::utf16_little))
      property_failed("ill-formed UTF-16 without a surrogate replacement");
  }

  // Round trip through the encoder in UTF-16 and in UTF-8, with the tables of a fresh process.
  for (const char *form : {"", "-u"}) {
    reset_process_state();
    scan_option_words(varnok_profile, form);
    scan_option_words(dostrel_profile, form);
    const std::string chosen = chosen_codes(c.input);
    const converted unicode = convert_in_memory(decode_stream, chosen);
    const converted back = convert_in_memory(encode_stream, unicode.out);
    if (unicode.status != 0 || back.status != 0 || back.out != chosen)
      property_failed("chosen codes did not come back unchanged");
  }
  return 0;
}
