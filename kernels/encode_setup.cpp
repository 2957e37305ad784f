// SPDX-License-Identifier: MIT
#include "portable/encode_steps.h"
#include "setup.h"

#include "cp932_kana.h"

namespace {

constexpr uint16_t NO_CODE = 0xFFFF;

uint32_t steps[0x10000]; // the portable tier's, for the table of this run

// Adds `unit` to the units the SIMD tiers cannot take for granted.
void add_special(encode_setup &setup, unsigned unit, uint16_t code) {
  if (setup.special_count == MOST_SPECIAL_UNITS ||
      (unit < 0x80 && setup.stops.count == MOST_ASCII_STOPS)) {
    setup.usable = false;
    return;
  }
  setup.special_unit[setup.special_count] = static_cast<uint16_t>(unit);
  setup.special_code[setup.special_count] = code;
  ++setup.special_count;
  if (unit < 0x80) {
    setup.stops.unit[setup.stops.count++] = static_cast<uint16_t>(unit);
    return;
  }
  // Units come in ascending order: a unit next to the last range joins it.
  unsigned &ranges = setup.special_range_count;
  if (ranges != 0 && setup.special_last[ranges - 1] + 1u == unit) {
    setup.special_last[ranges - 1] = static_cast<uint16_t>(unit);
  } else {
    setup.special_first[ranges] = setup.special_last[ranges] = static_cast<uint16_t>(unit);
    ++ranges;
  }
}

} // namespace

encode_setup make_encode_setup(const uint16_t *table, const uint16_t *rules_units,
                               size_t rules_count) {
  encode_setup setup{};
  setup.table = table;
  setup.steps = steps;
  setup.usable = true;
  // One plain pass the compiler vectorises (this runs at every start).
  for (unsigned unit = 0; unit < 0x10000; ++unit)
    steps[unit] =
        table[unit] == NO_CODE ? portable::ENCODE_STEP_RULES : portable::encode_step(table[unit]);
  for (size_t k = 0; k < rules_count; ++k) steps[rules_units[k]] = portable::ENCODE_STEP_RULES;
  // What the SIMD tiers cannot take for granted: an ASCII unit that is not its own code, and
  // a one-byte code beyond ASCII that the kana arithmetic does not give.
  for (unsigned unit = 0; unit < 0x80; ++unit) {
    const bool rules = steps[unit] == portable::ENCODE_STEP_RULES;
    if (rules || table[unit] != unit)
      add_special(setup, unit, rules ? SPECIAL_NEEDS_RULES : table[unit]);
  }
  for (unsigned unit = 0x80; unit < 0x10000; ++unit)
    if (table[unit] < 0x100 && !in_kana_characters(unit)) add_special(setup, unit, table[unit]);
  return setup;
}
