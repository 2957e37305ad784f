// SPDX-License-Identifier: MIT
#include "portable/encode_steps.h"
#include "setup.h"

namespace {

constexpr uint16_t NO_CODE = 0xFFFF;

} // namespace

encode_setup make_encode_setup(const uint16_t *table, const uint16_t *rules_units,
                               size_t rules_count, uint32_t *steps) {
  encode_setup setup{};
  setup.table = table;
  setup.steps = steps;
  // One plain pass the compiler vectorises (this runs at every start).
  for (unsigned unit = 0; unit < 0x10000; ++unit)
    steps[unit] = table[unit] == NO_CODE ? portable::ENCODE_STEP_RULES
                                         : portable::encode_step(unit, table[unit]);
  for (size_t k = 0; k < rules_count; ++k) steps[rules_units[k]] = portable::ENCODE_STEP_RULES;
  for (unsigned unit = 0; unit < 0x80; ++unit) {
    const bool rules = steps[unit] == portable::ENCODE_STEP_RULES;
    if (!rules && table[unit] == unit) continue;
    setup.stops.unit[setup.stops.count] = static_cast<uint16_t>(unit);
    setup.stops.code[setup.stops.count] = rules ? STOP_NEEDS_RULES : table[unit];
    ++setup.stops.count;
  }
  return setup;
}
