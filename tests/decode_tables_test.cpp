// SPDX-License-Identifier: MIT
#include "cp932_rows.h"
#include "decode_fixture.h"

#include <map>
#include <set>
#include <vector>

namespace {

using decode_tables = decode_fixture;

bool well_formed_double(unsigned code) {
  return is_cp932_lead_byte(code >> 8) && is_cp932_trail_byte(code & 0xFF);
}

TEST_F(decode_tables, single_byte_table_has_its_counts) {
  int characters = 0, leads = 0, invalids = 0;
  for (unsigned byte = 0; byte < 256; ++byte) {
    int16_t entry = cp932_single[byte];
    if (entry == LEAD_BYTE_MARK)
      ++leads;
    else if (entry == INVALID_BYTE_MARK)
      ++invalids;
    else
      ++characters;
  }
  EXPECT_EQ(characters, 191);
  EXPECT_EQ(leads, 60);
  EXPECT_EQ(invalids, 5);
  for (unsigned byte : {0x80u, 0xA0u, 0xFDu, 0xFEu, 0xFFu})
    EXPECT_EQ(cp932_single[byte], INVALID_BYTE_MARK) << byte;
  for (unsigned byte = 0; byte < 0x80; ++byte) EXPECT_EQ(cp932_single[byte], byte);
  for (unsigned byte = 0xA1; byte <= 0xDF; ++byte)
    EXPECT_EQ(static_cast<uint16_t>(cp932_single[byte]), 0xFF61 + (byte - 0xA1));
}

TEST_F(decode_tables, double_byte_table_has_its_counts) {
  int mapped = 0, unmapped = 0, high = 0, user_defined_mapped = 0, outside_mapped = 0;
  std::set<uint16_t> values;
  for (unsigned code = DOUBLE_FIRST_CODE; code <= 0xFCFF; ++code) {
    int16_t entry = double_entry(code);
    if (!well_formed_double(code)) {
      if (entry != UNMAPPED_CODE) ++outside_mapped;
      continue;
    }
    if (entry == UNMAPPED_CODE) {
      ++unmapped;
      continue;
    }
    ++mapped;
    values.insert(static_cast<uint16_t>(entry));
    if (static_cast<uint16_t>(entry) >= 0x8000) ++high;
    if (code >= 0xF040 && code <= 0xF9FC) ++user_defined_mapped;
  }
  EXPECT_EQ(mapped, 7724);
  EXPECT_EQ(unmapped, 3556);
  EXPECT_EQ(high, 2568);
  EXPECT_EQ(user_defined_mapped, 0);
  EXPECT_EQ(outside_mapped, 0);
  EXPECT_EQ(values.count(0xFFFF) + values.count(0xFFFE), 0u);
  for (unsigned lead : {0x85u, 0x86u, 0xEBu, 0xECu, 0xEFu})
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail)
      EXPECT_EQ(double_entry(lead << 8 | trail), UNMAPPED_CODE);
}

TEST_F(decode_tables, mapping_has_its_blocks_and_shared_values) {
  struct block {
    unsigned first, last;
    int mapped;
  };
  // JIS X 0208 is three ranges with the NEC rows 0x87xx and the row 0x98 gap between them.
  const block blocks[] = {{0x8740, 0x879C, 83}, {0xED40, 0xEEFC, 374}, {0xFA40, 0xFC4B, 388}};
  int jis = 0;
  for (unsigned code = DOUBLE_FIRST_CODE; code <= 0xFCFF; ++code) {
    bool in_jis = (code <= 0x84BE) || (code >= 0x889F && code <= 0x9872) ||
                  (code >= 0x989F && code <= 0xEAA4);
    if (in_jis && well_formed_double(code) && double_entry(code) != UNMAPPED_CODE) ++jis;
  }
  EXPECT_EQ(jis, 6879);
  for (const block &b : blocks) {
    int mapped = 0;
    for (unsigned code = b.first; code <= b.last; ++code)
      if (well_formed_double(code) && double_entry(code) != UNMAPPED_CODE) ++mapped;
    EXPECT_EQ(mapped, b.mapped) << std::hex << b.first;
  }
  std::map<uint16_t, int> codes_per_value;
  for (const cp932_row &row : cp932_rows) ++codes_per_value[row.unicode];
  int shared = 0;
  for (const auto &[value, count] : codes_per_value) shared += count > 1;
  EXPECT_EQ(std::size(cp932_rows), 7915u);
  EXPECT_EQ(codes_per_value.size(), 7517u);
  EXPECT_EQ(shared, 396);
}

TEST_F(decode_tables, telling_rows_hold_their_values) {
  const std::pair<unsigned, unsigned> rows[] = {
      {0x8140, 0x3000}, {0x8150, 0xFFE3}, {0x815C, 0x2015}, {0x815F, 0xFF3C}, {0x8160, 0xFF5E},
      {0x8161, 0x2225}, {0x8163, 0x2026}, {0x817C, 0xFF0D}, {0x818F, 0xFFE5}, {0x8191, 0xFFE0},
      {0x8192, 0xFFE1}, {0x81CA, 0xFFE2}, {0x82A0, 0x3042}, {0x8740, 0x2460}, {0x889F, 0x4E9C},
      {0xEEF9, 0xFFE2}, {0xFA54, 0xFFE2}, {0xEEFA, 0xFFE4}, {0xFA55, 0xFFE4}, {0xFA40, 0x2170},
      {0xFC4B, 0x9ED1}};
  for (const auto &[code, value] : rows)
    EXPECT_EQ(static_cast<uint16_t>(double_entry(code)), value) << std::hex << code;
  for (unsigned code : {0xFC4Cu, 0xF040u, 0xF9FCu, 0x8540u, 0x817Fu})
    EXPECT_EQ(double_entry(code), UNMAPPED_CODE) << std::hex << code;
}

// A cell of either table: a byte below 0x100, otherwise a two-byte code.
struct cell {
  unsigned code;
  unsigned value;
  bool operator==(const cell &) const = default;
};

// The cells in which `tables` differ from the mapping's own.
std::vector<cell> changed_cells(const ::decode_tables &tables) {
  std::vector<cell> changed;
  for (unsigned byte = 0; byte < 256; ++byte)
    if (tables.single[byte] != cp932_single[byte])
      changed.push_back({byte, static_cast<uint16_t>(tables.single[byte])});
  for (size_t index = 0; index < DOUBLE_TABLE_SIZE; ++index)
    if (tables.double_table[index] != cp932_double[index])
      changed.push_back({static_cast<unsigned>(index + DOUBLE_FIRST_CODE),
                         static_cast<uint16_t>(tables.double_table[index])});
  return changed;
}

// What the UTF-8 table must hold for `character`: its bytes from the low byte up, and their
// count in bits 24-25; 0 for none.
uint32_t expected_utf8_entry(int16_t entry) {
  if (entry == UNMAPPED_CODE) return 0;
  const auto character = static_cast<uint16_t>(entry);
  const unsigned count = character < 0x80 ? 1 : character < 0x800 ? 2 : 3;
  const unsigned lead_bits[] = {0, 0, 0xC0, 0xE0};
  uint32_t word = count << 24 | (lead_bits[count] | character >> (6 * (count - 1)));
  for (unsigned k = 1; k < count; ++k)
    word |= (0x80u | (character >> (6 * (count - 1 - k)) & 0x3F)) << (8 * k);
  return word;
}

// The UTF-8 table says what the UTF-16 table says, fresh and after every letter.
TEST_F(decode_tables, utf8_table_follows_the_double_table) {
  for (const char *letters : {"", "y", "z", "e", "d", "f", "j", "s", "a", "k"}) {
    const auto tables = std::make_unique<::decode_tables>();
    make_decode_tables(letters, *tables);
    size_t differ = 0;
    for (size_t index = 0; index < DOUBLE_TABLE_SIZE; ++index)
      differ += tables->double_utf8[index] != expected_utf8_entry(tables->double_table[index]);
    EXPECT_EQ(differ, 0u) << letters;
  }
}

TEST_F(decode_tables, each_variant_letter_changes_exactly_its_cells) {
  struct variant {
    char letter;
    std::vector<cell> cells;
  };
  const variant variants[] = {
      {'y', {{0x5C, 0x00A5}}},
      {'o', {{0x7E, 0x203E}}},
      {'v', {}}, // stores U+007C where U+007C already stands
      {'z', {{0x818F, 0x00A5}}},
      {'e', {{0x815C, 0x2014}}},
      {'d', {{0x8160, 0x301C}, {0x8161, 0x2016}, {0x817C, 0x2212}}},
      {'f', {{0x8191, 0x00A2}, {0x8192, 0x00A3}, {0x81CA, 0x00AC}}},
      {'j', {{0x8150, 0x203E}}},
      {'s', {{0x815F, 0x005C}}},
      {'a', {{0x8163, 0x22EF}}},
      {'k', {{0xEEFA, 0x00A6}, {0xFA55, 0x00A6}}},
  };
  const auto tables = std::make_unique<::decode_tables>();
  for (const variant &v : variants) {
    ASSERT_TRUE(is_decode_variant(v.letter)) << v.letter;
    const char letters[] = {v.letter, '\0'};
    make_decode_tables(letters, *tables);
    EXPECT_EQ(changed_cells(*tables), v.cells) << v.letter;
  }
  for (char letter : std::string("blpghqrtxABL?-")) EXPECT_FALSE(is_decode_variant(letter));
}

TEST_F(decode_tables, variant_letters_give_the_same_tables_in_any_order) {
  const auto forward = std::make_unique<::decode_tables>();
  const auto backward = std::make_unique<::decode_tables>();
  make_decode_tables("yozedfjsak", *forward);
  make_decode_tables("kasjfdezoyyozedfjsakkk", *backward);
  EXPECT_EQ(forward->single, backward->single);
  EXPECT_EQ(forward->double_table, backward->double_table);
  EXPECT_EQ(changed_cells(*forward).size(), 15u);
}

} // namespace
