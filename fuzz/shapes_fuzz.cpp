// SPDX-License-Identifier: MIT
// A structure-aware fuzz target: the input chooses classes of characters and where they stand,
// not raw bytes, so that every run is text of the shapes the kernel tiers treat differently
// (items at block edges, sparse and dense blocks, ill-formed sequences before lead bytes).
// Byte 0 chooses the program and the form; then each group of three bytes adds to the text:
//   class % (items + 2): an item of that class; items: a run of (byte 2 % 64) pieces of the
//   background (byte 1); items + 1: the pad up to the offset (byte 1) within a block of 64.
// The text begins with the pad, so that no item is read as a byte order mark, and ends with it.
// Every tier, whole and in reads of 1 to 7 bytes, must give the output, status and audit lines
// built from the pieces.
#include "character_classes.h"
#include "fuzz_support.h"
#include "inverse_mapping.h"

namespace {

struct fuzz_form {
  bool decoding;
  const char *options;
  unicode_form form;
};
constexpr fuzz_form FORMS[] = {
    {true, "-w", unicode_form::utf16_big},     {true, "-uw", unicode_form::utf8},
    {true, "-lw", unicode_form::utf16_little}, {false, "-w", unicode_form::utf16_big},
    {false, "-uw", unicode_form::utf8},        {false, "-Lw", unicode_form::utf16_little},
};

const shape_classes &classes_of(size_t which) {
  static std::vector<shape_classes> made;
  if (made.empty()) {
    const std::map<unsigned, unsigned> inverse = inverse_mapping();
    for (const fuzz_form &f : FORMS)
      made.push_back(f.decoding ? decoding_classes(f.form) : encoding_classes(f.form, inverse));
  }
  return made[which];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const size_t which = data[0] % (sizeof FORMS / sizeof FORMS[0]);
  const fuzz_form &f = FORMS[which];
  const shape_classes &classes = classes_of(which);
  shaped_text text;
  text.add(classes.pad, "");
  const piece *last = &classes.pad;
  auto add = [&](const piece &p, const std::string &loss) {
    if (last != nullptr && !stands_apart(*last, p.input)) text.add(classes.pad, "");
    text.add(p, loss);
    last = &p;
  };
  for (size_t at = 1; at + 3 <= size && text.input.size() < 4096; at += 3) {
    const size_t kind = data[at] % (classes.items.size() + 2);
    if (kind < classes.items.size()) {
      const std::vector<piece> &items = classes.items[kind];
      add(items[(data[at + 1] << 8 | data[at + 2]) % items.size()], classes.losses[kind]);
    } else if (kind == classes.items.size()) {
      const std::vector<piece> &background =
          classes.backgrounds[data[at + 1] % classes.backgrounds.size()];
      for (unsigned k = 0; k < data[at + 2] % 64u; ++k)
        add(background[(data[at + 1] * 131u + k * 7919u) % background.size()], "");
    } else {
      const size_t offset = data[at + 1] % 64u / classes.unit * classes.unit;
      while (text.input.size() % 64 != offset) add(classes.pad, "");
    }
  }
  add(classes.pad, ""); // an item cut short at the end would be cut, not ill-formed
  reset_process_state();
  scan_option_words(f.decoding ? varnok_profile : dostrel_profile, f.options);
  const stream_converter convert = f.decoding ? decode_stream : encode_stream;
  for (const kernel_tier *tier : available_tiers()) {
    const tier_pin pin(*tier);
    for (size_t largest_read : {size_t{0}, 1 + size % 7}) {
      const converted result = convert_in_memory(convert, text.input, largest_read);
      if (result.out != text.output) property_failed("output differs from the mapping's");
      if (result.status != text.status) property_failed("status differs from the mapping's");
      if (result.audit != text.audit) property_failed("audit differs from the mapping's");
    }
  }
  audit_enabled = false;
  return 0;
}
