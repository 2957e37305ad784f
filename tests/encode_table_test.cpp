// SPDX-License-Identifier: MIT
#include "cp932_rows.h"
#include "encode_fixture.h"
#include "inverse_mapping.h"

#include <map>
#include <memory>
#include <set>

namespace {

using encode_table = encode_fixture;

bool in_range(unsigned code, unsigned first, unsigned last) {
  return code >= first && code <= last;
}

TEST_F(encode_table, holds_its_counts_and_only_codes) {
  int single = 0, two_byte = 0, other = 0;
  for (unsigned character = 0; character < 0x10000; ++character) {
    unsigned code = unicode_to_cp932[character];
    if (code == NO_CODE) continue;
    if (code < 0x100)
      ++single;
    else if (in_range(code, 0x8140, 0xFC4B))
      ++two_byte;
    else
      ++other;
  }
  EXPECT_EQ(single, 196);
  EXPECT_EQ(two_byte, 9206);
  EXPECT_EQ(other, 0);
  for (unsigned character = 0xD800; character <= 0xDFFF; ++character)
    EXPECT_EQ(unicode_to_cp932[character], NO_CODE);
  EXPECT_EQ(unicode_to_cp932[0xFFFE], NO_CODE);
  EXPECT_EQ(unicode_to_cp932[0xFFFF], NO_CODE);
}

// Every character gets the code of the inverse mapping and no other has one; 7,121 characters
// have a single code, and 373 choose between an NEC-selected and an IBM extension code.
TEST_F(encode_table, inverts_the_mapping_file) {
  const std::map<unsigned, unsigned> inverse = inverse_mapping();
  for (unsigned character = 0; character < 0x10000; ++character) {
    const auto found = inverse.find(character);
    const unsigned expected = found == inverse.end() ? NO_CODE : found->second;
    ASSERT_EQ(unicode_to_cp932[character], expected) << std::hex << character;
  }
  std::map<unsigned, std::set<unsigned>> codes_of;
  for (const cp932_row &row : cp932_rows) codes_of[row.unicode].insert(row.code);
  int single_code = 0, ibm_choices = 0;
  for (const auto &[character, codes] : codes_of) {
    single_code += codes.size() == 1;
    ibm_choices += codes.size() == 2 && is_nec_selected_code(*codes.begin()) &&
                   in_range(*codes.rbegin(), 0xFA40, 0xFC4B);
  }
  EXPECT_EQ(single_code, 7121);
  EXPECT_EQ(ibm_choices, 373);
}

TEST_F(encode_table, chosen_and_added_rows_hold_their_codes) {
  const std::pair<unsigned, unsigned> rows[] = {
      // The 23 characters with several codes that are not an NEC-selected/IBM pair.
      {0x2116, 0x8782},
      {0x2121, 0x8784},
      {0x2160, 0x8754},
      {0x2161, 0x8755},
      {0x2162, 0x8756},
      {0x2163, 0x8757},
      {0x2164, 0x8758},
      {0x2165, 0x8759},
      {0x2166, 0x875A},
      {0x2167, 0x875B},
      {0x2168, 0x875C},
      {0x2169, 0x875D},
      {0x221A, 0x81E3},
      {0x2220, 0x81DA},
      {0x2229, 0x81BF},
      {0x222A, 0x81BE},
      {0x222B, 0x81E7},
      {0x2235, 0x81E6},
      {0x2252, 0x81E0},
      {0x2261, 0x81DF},
      {0x22A5, 0x81DB},
      {0x3231, 0x878A},
      {0xFFE2, 0x81CA},
      // IBM extension codes chosen over the NEC-selected ones; single-code characters.
      {0x2170, 0xFA40},
      {0xFFE4, 0xFA55},
      {0xFF02, 0xFA57},
      {0xFF07, 0xFA56},
      {0x005C, 0x5C},
      {0x007E, 0x7E},
      {0xFF5E, 0x8160},
      {0x2015, 0x815C},
      {0x4E00, 0x88EA},
      {0x3042, 0x82A0},
      // Codes the decoder leaves without a character: the user-defined area.
      {0xE000, 0xF040},
      {0xE03E, 0xF07E},
      {0xE03F, 0xF080},
      {0xE0BB, 0xF0FC},
      {0xE0BC, 0xF140},
      {0xE757, 0xF9FC},
      // No code.
      {0x00A5, NO_CODE},
      {0x203E, NO_CODE},
      {0x301C, NO_CODE},
      {0x2014, NO_CODE},
      {0xE758, NO_CODE},
      {0x00A9, NO_CODE},
      {0xFEFF, NO_CODE}};
  for (const auto &[character, code] : rows)
    EXPECT_EQ(unicode_to_cp932[character], code) << std::hex << character;
}

struct entry {
  unsigned character;
  unsigned code;
  bool operator==(const entry &) const = default;
};

// The entries in which `table` differs from `before`.
std::vector<entry> changed_entries(const uint16_t *table, const uint16_t *before) {
  std::vector<entry> changed;
  for (unsigned character = 0; character < 0x10000; ++character)
    if (table[character] != before[character]) changed.push_back({character, table[character]});
  return changed;
}

TEST_F(encode_table, each_variant_letter_changes_exactly_its_entries) {
  const unsigned N = NO_CODE;
  const std::pair<char, std::vector<entry>> variants[] = {
      {'y', {{0x00A5, 0x5C}}},
      {'r', {{0x005C, N}}},
      {'z', {{0x00A5, 0x818F}}},
      {'s', {{0x005C, 0x815F}}},
      {'o', {{0x203E, 0x7E}}},
      {'i', {{0x007E, N}}},
      {'j', {{0x203E, 0x8150}}},
      {'v', {{0x00A6, 0x7C}}},
      {'e', {{0x2014, 0x815C}}},
      {'b', {{0x2015, N}}},
      {'d', {{0x2016, 0x8161}, {0x2212, 0x817C}, {0x301C, 0x8160}}},
      {'t', {{0x2225, N}, {0xFF0D, N}, {0xFF5E, N}}},
      {'f', {{0x00A2, 0x8191}, {0x00A3, 0x8192}, {0x00AC, 0x81CA}}},
      {'n', {{0xFFE0, N}, {0xFFE1, N}, {0xFFE2, N}}},
      {'a', {{0x22EF, 0x8163}}},
      {'k', {{0x00A6, 0xFA55}}},
      {'q',
       {{0x2116, 0xFA59},
        {0x2121, 0xFA5A},
        {0x2160, 0xFA4A},
        {0x2161, 0xFA4B},
        {0x2162, 0xFA4C},
        {0x2163, 0xFA4D},
        {0x2164, 0xFA4E},
        {0x2165, 0xFA4F},
        {0x2166, 0xFA50},
        {0x2167, 0xFA51},
        {0x2168, 0xFA52},
        {0x2169, 0xFA53},
        {0x3231, 0xFA58}}},
  };
  const auto table = std::make_unique<std::array<uint16_t, 0x10000>>();
  for (const auto &[letter, entries] : variants) {
    ASSERT_TRUE(is_encode_variant(letter)) << letter;
    const char letters[] = {letter, '\0'};
    make_encode_table(letters, *table);
    EXPECT_EQ(changed_entries(table->data(), unicode_to_cp932.data()), entries) << letter;
  }
  for (char letter : std::string("gxLmphlcwu?-")) EXPECT_FALSE(is_encode_variant(letter));
}

TEST_F(encode_table, last_letter_wins_for_the_four_shared_entries) {
  struct order_case {
    const char *options;
    unsigned character;
    unsigned code;
  };
  const order_case cases[] = {
      {"-yz", 0x00A5, 0x818F}, {"-zy", 0x00A5, 0x5C},    {"-z -y", 0x00A5, 0x5C},
      {"-rs", 0x005C, 0x815F}, {"-sr", 0x005C, NO_CODE}, {"-oj", 0x203E, 0x8150},
      {"-jo", 0x203E, 0x7E},   {"-vk", 0x00A6, 0xFA55},  {"-kv", 0x00A6, 0x7C},
      {"-y", 0x005C, 0x5C},    {"-yr", 0x005C, NO_CODE}, {"-t", 0x301C, NO_CODE},
  };
  for (const order_case &c : cases) {
    apply_dostrel_options(c.options);
    EXPECT_EQ(program_encoder().setup.table[c.character], c.code) << c.options;
    reset();
  }
  // Every other entry has one writer: any order of all letters gives one table.
  apply_dostrel_options("-rsoijebdtfnaqyzvk");
  const std::vector<uint16_t> forward(program_encoder().setup.table,
                                      program_encoder().setup.table + 0x10000);
  reset();
  apply_dostrel_options("-vqanftdbei -royzsjk");
  EXPECT_EQ(changed_entries(program_encoder().setup.table, forward.data()).size(), 0u);
}

} // namespace
