// SPDX-License-Identifier: MIT
// Long texts through every kernel tier, the portable one always, against output built here
// from the mapping rows: every class of character the tiers treat differently (ASCII, kana,
// kanji and symbols looked up in the tables), sprinkled with what only the rules can take,
// across many blocks, in both byte orders, with and without marks, whole and in
// reads of 4,093 bytes; and the audit's position of a loss at the end of such a text.
#include "character_classes.h"
#include "decode_fixture.h"
#include "encode_fixture.h"
#include "hex.h"
#include "inverse_mapping.h"
#include "kernel_tiers.h"
#include "line_feeds.h"
#include "setup.h"

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Texts of `count` pieces, one in `rare_every` from `rare`, the rest from `common`: each must
// give the concatenated outputs on every tier.
void expect_pieces(stream_converter convert, const std::vector<piece> &common,
                   const std::vector<piece> &rare, const std::string &head, size_t count,
                   unsigned seed) {
  std::mt19937 random(seed);
  std::string input = head, expected;
  int status = 0;
  for (size_t k = 0; k < count; ++k) {
    const bool is_rare = !rare.empty() && random() % (20 + seed * 40) == 0;
    const piece &p = is_rare ? rare[random() % rare.size()] : common[random() % common.size()];
    input += p.input;
    expected += p.output;
    status |= p.status;
  }
  for (const kernel_tier *tier : available_tiers()) {
    const tier_pin pin(*tier);
    for (size_t largest_read : {size_t{0}, size_t{4093}}) {
      const converted result = convert_in_memory(convert, input, largest_read);
      EXPECT_EQ(result.status, status) << tier->name << ", reads of " << largest_read;
      if (result.out == expected) continue;
      size_t first = 0;
      while (first < result.out.size() && first < expected.size() &&
             result.out[first] == expected[first])
        ++first;
      FAIL() << tier->name << ", reads of " << largest_read << ", seed " << seed
             << ": differs from byte " << first << ", got [" << to_hex(result.out.substr(first, 12))
             << "], expected [" << to_hex(expected.substr(first, 12)) << "]";
    }
  }
}

// A long clean text with one loss at its end: with w, every tier, whole and in reads of 4,093
// bytes, must report just that loss, at the line and column counted here from the pieces
// (pieces that give nothing, which letters may make, are left out).
void expect_loss_at_end(stream_converter convert, const std::vector<piece> &common,
                        const std::string &head, const std::string &line_feed,
                        const std::string &loss, const std::string &description) {
  std::mt19937 random(7);
  std::string input = head;
  size_t line = 1, line_start = 0;
  for (size_t k = 0; k < 70000; ++k) { // the last 40,000 pieces a line of many blocks
    const piece &p = common[random() % common.size()];
    if (p.output.empty() || (k >= 30000 && p.input == line_feed)) continue;
    input += p.input;
    if (p.input != line_feed) continue;
    ++line;
    line_start = input.size();
  }
  const std::string expected = "-:" + std::to_string(line) + ":" +
                               std::to_string(input.size() - line_start + 1) + ": " + description +
                               "\n";
  input += loss;
  audit_enabled = true;
  for (const kernel_tier *tier : available_tiers()) {
    const tier_pin pin(*tier);
    for (size_t largest_read : {size_t{0}, size_t{4093}}) {
      const std::string audit = convert_in_memory(convert, input, largest_read).audit;
      EXPECT_EQ(audit.substr(0, 200), expected) << tier->name << ", reads of " << largest_read;
    }
  }
  audit_enabled = false;
}

using kernels_decode = decode_fixture;
using kernels_encode = encode_fixture;

TEST_F(kernels_decode, long_texts_decode_as_the_mapping_says) {
  struct run {
    const char *options;
    unicode_form form;                    // of the output
    int32_t replacement;                  // -1: none
    std::map<unsigned, unsigned> changed; // codes the letters give other characters
  };
  const run runs[] = {
      {"", BE, -1, {}},
      {"-l", LE, -1, {}},
      {"-p 0x3013", BE, 0x3013, {}},
      {"-yo", BE, -1, {{0x5C, 0xA5}, {0x7E, 0x203E}}},
      {"-ld -p 0x1F363", LE, 0x1F363, {{0x8160, 0x301C}, {0x8161, 0x2016}, {0x817C, 0x2212}}},
      {"-u -p 0x1F363", U8, 0x1F363, {}},
      {"-lyu", U8, -1, {{0x5C, 0xA5}}},
      {"-uo", U8, -1, {{0x7E, 0x203E}}},
      {"-uyo", U8, -1, {{0x5C, 0xA5}, {0x7E, 0x203E}}},
  };
  for (const run &r : runs) {
    SCOPED_TRACE(r.options);
    reset_varnok_state();
    ASSERT_EQ(scan_option_words(varnok_profile, r.options), KEEP_RUNNING);
    auto character = [&](unsigned value) { return character_bytes(value, r.form); };
    const std::string replacement = r.replacement < 0 ? "" : character(r.replacement);
    std::vector<piece> common, rare;
    for (const cp932_row &row : cp932_rows) {
      const auto found = r.changed.find(row.code);
      const std::string bytes = row.code < 0x100 ? std::string(1, static_cast<char>(row.code))
                                                 : unit_bytes(row.code, false);
      common.push_back(
          {bytes, character(found != r.changed.end() ? found->second : row.unicode), 0});
      if (row.code < 0x80) // ASCII runs, long and short
        for (int k = 0; k < 40; ++k) common.push_back(common.back());
    }
    for (const char *invalid : {"80", "A0", "FD", "FE", "FF"})
      rare.push_back({hex(invalid), replacement, STATUS_INVALID});
    for (const char *unmapped : {"F0 40", "F9 FC", "85 40", "82 F2", "EA A5"})
      rare.push_back({hex(unmapped), replacement, 0});
    rare.push_back({hex("81 0A"), replacement + character(0x0A), STATUS_INVALID});
    rare.push_back({hex("82 FD"), replacement, STATUS_INVALID});
    for (unsigned seed = 1; seed <= 3; ++seed) {
      expect_pieces(decode_stream, common, rare, "", 40000, seed);
      expect_pieces(decode_stream, common, {}, "", 20000, seed);
    }
    const std::string action = r.replacement < 0 ? "dropped" : "replaced";
    expect_loss_at_end(decode_stream, common, "", "\n", hex("80"), "invalid byte 0x80: " + action);
  }
}

TEST_F(kernels_encode, long_texts_encode_as_the_mapping_says) {
  struct run {
    const char *options;
    unicode_form form;                       // of the text
    const char *mark;                        // hexadecimal
    int32_t replacement;                     // -1: none
    std::map<unsigned, std::string> changed; // what the letters make of these characters
  };
  const run runs[] = {
      {"", BE, "", -1, {}},
      {"", LE, "FF FE", -1, {}},
      {"-L -p 0x3F", LE, "", 0x3F, {}},
      {"-L", BE, "FE FF", -1, {}},
      {"-m", BE, "", -1, {{0x22, "&quot;"}, {0x26, "&amp;"}, {0x3C, "&lt;"}, {0x3E, "&gt;"}}},
      {"-x -p 0x8148", LE, "FF FE", 0x8148, {}},
      {"-yovs", BE, "", -1, {{0xA5, "\\"}, {0x203E, "~"}, {0xA6, "|"}, {0x5C, hex("81 5F")}}},
      {"-Lri", LE, "", -1, {{0x5C, ""}, {0x7E, ""}}},
      {"-u -p 0x3F", U8, "", 0x3F, {}},
      {"-Lum",
       U8,
       "EF BB BF",
       -1,
       {{0x22, "&quot;"}, {0x26, "&amp;"}, {0x3C, "&lt;"}, {0x3E, "&gt;"}}},
      {"-uy", LE, "FF FE", -1, {{0xA5, "\\"}}},
  };
  const std::map<unsigned, unsigned> inverse = inverse_mapping();
  for (const run &r : runs) {
    SCOPED_TRACE(r.options);
    reset_dostrel_state();
    ASSERT_EQ(scan_option_words(dostrel_profile, r.options), KEEP_RUNNING);
    const bool hexadecimal = std::string(r.options).rfind("-x", 0) == 0;
    std::string replacement;
    if (r.replacement >= 0x100)
      replacement = unit_bytes(static_cast<unsigned>(r.replacement), false);
    if (r.replacement >= 0 && r.replacement < 0x100)
      replacement = std::string(1, static_cast<char>(r.replacement));
    auto code_bytes = [](unsigned code) {
      return code < 0x100 ? std::string(1, static_cast<char>(code)) : unit_bytes(code, false);
    };
    // Besides, a text of characters whose units read in the other byte order are characters
    // with a code as well: only such a text shows a byte order misread where a fast path falls
    // back to the rules at anything unexpected.
    std::vector<piece> common, rare, swappable;
    for (const auto &[character, code] : inverse) {
      const auto found = r.changed.find(character);
      const std::string out = found != r.changed.end() ? found->second : code_bytes(code);
      common.push_back({character_bytes(character, r.form), out, 0});
      if (inverse.count((character & 0xFF) << 8 | character >> 8) != 0)
        swappable.push_back(common.back());
      if (character < 0x80)
        for (int k = 0; k < 40; ++k) common.push_back(common.back());
    }
    for (const auto &[character, out] : r.changed)
      if (inverse.count(character) == 0)
        common.push_back({character_bytes(character, r.form), out, 0});
    for (unsigned unmapped : {0xA9u, 0xFEFFu, 0x4E02u, 0xFFFFu, 0xE758u}) {
      char reference[16];
      std::snprintf(reference, sizeof reference, hexadecimal ? "&#x%x;" : "&#%u;", unmapped);
      rare.push_back({character_bytes(unmapped, r.form), hexadecimal ? reference : replacement, 0});
    }
    rare.push_back({character_bytes(0x1F363, r.form), replacement, 0});
    if (r.form == U8) { // ill-formed: maximal subparts, each one broken character
      rare.push_back({hex("E3 81 41"), replacement + "A", STATUS_INVALID});
      rare.push_back({hex("ED A0 80"), replacement + replacement + replacement, STATUS_INVALID});
      rare.push_back({hex("C0"), replacement, STATUS_INVALID});
    } else { // broken surrogates
      const bool little = traits_of(r.form).little;
      rare.push_back({unit_bytes(0xDC00, little), replacement, 0});
      rare.push_back({unit_bytes(0xD800, little) + unit_bytes(0x41, little), replacement + "A", 0});
    }
    for (unsigned seed = 1; seed <= 3; ++seed) {
      expect_pieces(encode_stream, common, rare, hex(r.mark), 40000, seed);
      expect_pieces(encode_stream, common, {}, hex(r.mark), 20000, seed);
      expect_pieces(encode_stream, swappable, {}, hex(r.mark), 20000, seed);
    }
    const std::string action = r.replacement < 0 ? "dropped" : "replaced";
    expect_loss_at_end(encode_stream, common, hex(r.mark), character_bytes(0x0A, r.form),
                       character_bytes(0x1F363, r.form), "U+1F363 is beyond the BMP: " + action);
  }
}

// An ill-formed two- or three-byte sequence whose continuation would be a lead byte in the last
// bytes of a block: the lead byte begins the next character, never completes the sequence (once
// written twice and far past the output, or decoded as a character that is not there).
TEST_F(kernels_encode, ill_formed_utf8_before_a_lead_byte_at_a_block_end) {
  apply_dostrel_options("-u -w");
  struct cut_case {
    std::string head, input, output;
  };
  const std::string hiragana_a = hex("E3 81 82");
  std::string sixty_a(62, 'a'), twenty_a;
  for (int k = 0; k < 20; ++k) twenty_a += hiragana_a;
  const cut_case cases[] = {
      {sixty_a, hex("CE D1 81") + "z", hex("84 83") + "z"},
      {twenty_a, hex("E3 81") + hiragana_a + "A", hex("82 A0") + "A"},
      {sixty_a.substr(1), hex("E3 81 D1 81") + "z", hex("84 83") + "z"},
      {sixty_a.substr(1), hex("E3 D1 81") + "z", hex("84 83") + "z"},
  };
  for (const cut_case &c : cases) {
    std::string expected;
    for (size_t k = 0; k < c.head.size(); k += c.head[0] == 'a' ? 1 : 3)
      expected += c.head[0] == 'a' ? "a" : hex("82 A0");
    for (const kernel_tier *tier : available_tiers()) {
      const tier_pin pin(*tier);
      const converted result = convert_in_memory(encode_stream, c.head + c.input);
      EXPECT_EQ(to_hex(result.out), to_hex(expected + c.output)) << tier->name;
      EXPECT_EQ(result.status, STATUS_INVALID) << tier->name;
      EXPECT_EQ(std::count(result.audit.begin(), result.audit.end(), '\n'), 1) << tier->name;
    }
  }
  audit_enabled = false;
}

// One item of every class at every offset of a window across the first block edges (52-80 and
// 116-144 bytes), after a background of each kind (ASCII, so that the item is one of a few
// characters in its block; dense text; a mix of one- and two-byte characters, more than 32 to
// a block), before followers of each kind: every tier must give the output, status and audit
// lines built from the pieces, whole and in reads of 7 bytes.
void expect_shapes(stream_converter convert, const shape_classes &classes) {
  const piece &pad = classes.pad;
  std::mt19937 random(11);
  audit_enabled = true;
  auto pick = [&](const std::vector<piece> &from) -> const piece & {
    return from[random() % from.size()];
  };
  size_t failures = 0;
  for (size_t item_class = 0; item_class < classes.items.size(); ++item_class)
    for (const std::vector<piece> &background : classes.backgrounds)
      for (const std::vector<piece> &follower : classes.backgrounds)
        for (size_t offset = 52; offset < 144; offset += classes.unit) {
          if (offset == 80) offset = 116;
          shaped_text text;
          auto add = [&](const piece &p, const std::string &loss) { text.add(p, loss); };
          const std::string &input = text.input;
          for (const piece *next = &pick(background); input.size() + next->input.size() <= offset;
               next = &pick(background))
            add(*next, "");
          while (input.size() < offset) add(pad, "");
          const piece &item = pick(classes.items[item_class]);
          add(item, classes.losses[item_class]);
          const piece &after = pick(follower);
          add(stands_apart(item, after.input) ? after : pad, "");
          for (int k = 0; k < 40; ++k) add(pick(follower), "");
          for (const kernel_tier *tier : available_tiers()) {
            const tier_pin pin(*tier);
            for (size_t largest_read : {size_t{0}, size_t{7}}) {
              const converted result = convert_in_memory(convert, input, largest_read);
              if (result.out == text.output && result.status == text.status &&
                  result.audit == text.audit)
                continue;
              if (++failures > 5) continue;
              ADD_FAILURE() << tier->name << ", reads of " << largest_read << ", class "
                            << item_class << ", item at " << offset << ": [" << to_hex(item.input)
                            << "] in [" << to_hex(input) << "]\n got [" << to_hex(result.out)
                            << "] status " << result.status << " audit " << result.audit
                            << "\n expected [" << to_hex(text.output) << "] status " << text.status
                            << " audit " << text.audit;
            }
          }
        }
  audit_enabled = false;
}

TEST_F(kernels_decode, every_class_at_every_offset_across_a_block_edge) {
  for (const std::string options : {"", "-u", "-l"}) {
    SCOPED_TRACE(options);
    reset_varnok_state();
    ASSERT_EQ(scan_option_words(varnok_profile, options), KEEP_RUNNING);
    const unicode_form form = options == "-u" ? U8 : options == "-l" ? LE : BE;
    expect_shapes(decode_stream, decoding_classes(form));
  }
}

TEST_F(kernels_encode, every_class_at_every_offset_across_a_block_edge) {
  const std::map<unsigned, unsigned> inverse = inverse_mapping();
  for (const std::string options : {"", "-u", "-L"}) {
    SCOPED_TRACE(options);
    reset_dostrel_state();
    ASSERT_EQ(scan_option_words(dostrel_profile, options), KEEP_RUNNING);
    const unicode_form form = options == "-u" ? U8 : options == "-L" ? LE : BE;
    expect_shapes(encode_stream, encoding_classes(form, inverse));
  }
}

// The queued tiers look up a chunk of at most 256 blocks of 64 bytes at a time: texts of one
// looked-up character (two bytes either way) that end just inside, at and past that bound, and
// long enough for the chunks to grow to it.
TEST_F(kernels_decode, queued_chunks_stop_at_their_bound) {
  reset_varnok_state();
  ASSERT_EQ(scan_option_words(varnok_profile, ""), KEEP_RUNNING);
  const std::vector<piece> kanji = {{hex("88 9F"), hex("4E 9C"), 0}};
  const std::vector<piece> mixed = {
      {hex("88 9F"), hex("4E 9C"), 0}, {hex("82 A0"), hex("30 42"), 0}, {"A", hex("00 41"), 0}};
  for (size_t blocks : {255, 256, 257, 1024, 1025}) {
    expect_pieces(decode_stream, kanji, {}, "", blocks * 32, 1);
    expect_pieces(decode_stream, mixed, {}, "", blocks * 40, 1);
  }
}

TEST_F(kernels_encode, queued_chunks_stop_at_their_bound) {
  reset_dostrel_state();
  ASSERT_EQ(scan_option_words(dostrel_profile, ""), KEEP_RUNNING);
  for (size_t blocks : {255, 256, 257, 1024, 1025})
    expect_pieces(encode_stream, {{hex("4E 9C"), hex("88 9F"), 0}}, {}, "", blocks * 32, 1);
}

// Runs of kanji broken by a unit of one byte (ASCII, halfwidth katakana) or a kanji without a
// code every so often, in UTF-16 and UTF-8: runs go straight through, the blocks or steps
// around the unit are queued or left to the portable kernel, and long runs end a chunk; every
// tier writes what the portable one does.
TEST_F(kernels_encode, kanji_runs_broken_every_so_often) {
  for (const char *options : {"", "-u"}) {
    reset_dostrel_state();
    ASSERT_EQ(scan_option_words(dostrel_profile, options), KEEP_RUNNING);
    const unicode_form form = *options == '\0' ? BE : U8;
    for (size_t period : {31, 32, 33, 64, 65, 96, 127, 128, 129, 160, 257})
      for (unsigned breaker : {0x41u, 0xFF71u, 0x4E02u}) {
        std::string input;
        while (input.size() < 40000) {
          for (size_t k = 0; k < period; ++k) input += character_bytes(0x4E9C, form);
          input += character_bytes(breaker, form);
        }
        EXPECT_TRUE(same_on_every_tier(encode_stream, input)) << options << " " << period;
        EXPECT_TRUE(same_on_every_tier(encode_stream, input, 4093)) << options << " " << period;
      }
  }
}

// The longest output of each kind for an input byte, after a clean start that half fills the
// output buffer: each input must give its expansion whole, on every tier.
TEST(kernels, the_longest_expansion_fits_the_output_room) {
  struct expansion {
    const program_profile &profile;
    stream_converter convert;
    const char *options;
    std::string clean, clean_output, item, output;
  };
  const std::string a16 = unit_bytes('a', false);
  const expansion cases[] = {
      {varnok_profile, decode_stream, "-p 0x1F363", "a", a16, hex("80"), hex("D8 3C DF 63")},
      {varnok_profile, decode_stream, "-l -p 0x1F363", "a", unit_bytes('a', true), hex("FF"),
       hex("3C D8 63 DF")},
      {varnok_profile, decode_stream, "-u -p 0x1F363", "a", "a", hex("A0"), hex("F0 9F 8D A3")},
      {dostrel_profile, encode_stream, "-u -m", "a", "a", "\"", "&quot;"},
      {dostrel_profile, encode_stream, "-x", a16, "a", unit_bytes(0xFFFF, false), "&#xffff;"},
      {dostrel_profile, encode_stream, "-g -u", "a", "a", hex("EF BF BF"), "&#65535;"},
      {dostrel_profile, encode_stream, "-g", a16, "a", unit_bytes(0xFFFF, false), "&#65535;"},
      {dostrel_profile, encode_stream, "-L -m", unit_bytes('a', true), "a", unit_bytes('<', true),
       "&lt;"},
      {dostrel_profile, encode_stream, "-L -x", unit_bytes('a', true), "a",
       unit_bytes(0xFFFF, true), "&#xffff;"},
      // A loss every 16 characters keeps the SIMD tiers on their portable stretch, through
      // ranges that end inside a unit.
      {dostrel_profile, encode_stream, "-x", a16, "a",
       a16 + a16 + a16 + a16 + a16 + a16 + a16 + unit_bytes(0xFFFF, false), "aaaaaaa&#xffff;"},
  };
  for (const expansion &c : cases) {
    SCOPED_TRACE(c.options);
    reset_varnok_state();
    reset_dostrel_state();
    ASSERT_EQ(scan_option_words(c.profile, c.options), KEEP_RUNNING);
    std::string input, expected;
    for (int k = 0; k < 300000; ++k) input += c.clean, expected += c.clean_output;
    for (int k = 0; k < 700000; ++k) input += c.item, expected += c.output;
    for (const kernel_tier *tier : available_tiers()) {
      const tier_pin pin(*tier);
      EXPECT_TRUE(convert_in_memory(c.convert, input).out == expected) << tier->name;
    }
  }
  reset_varnok_state();
  reset_dostrel_state();
}

// A copy of a table that ends where an unreadable page begins: a kernel that reads past the
// table's end (a gather of the entry after the last, say) dies on it.
template <typename ENTRY> struct guarded_table {
  explicit guarded_table(const ENTRY *entries, size_t count) {
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t bytes = count * sizeof(ENTRY);
    size = (bytes + page - 1) / page * page + page;
    void *mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(mapped, MAP_FAILED);
    base = static_cast<unsigned char *>(mapped);
    mprotect(base + size - page, page, PROT_NONE);
    table = reinterpret_cast<ENTRY *>(base + size - page - bytes);
    std::copy(entries, entries + count, table);
  }
  ~guarded_table() { munmap(base, size); }
  guarded_table(const guarded_table &) = delete;
  guarded_table &operator=(const guarded_table &) = delete;
  unsigned char *base;
  size_t size;
  ENTRY *table;
};

// Runs `kernel` over `input` as a converter would, stepping over each character it refuses
// (`step` bytes), so that every block of the input reaches the tier.
template <typename KERNEL, typename SETUP>
void run_kernel_over(KERNEL kernel, const SETUP &setup, const std::string &input, size_t step) {
  std::vector<unsigned char> out(8 * input.size() + 256);
  const auto *from = reinterpret_cast<const unsigned char *>(input.data());
  const auto *const end = from + input.size();
  const auto queue = std::make_unique<lookup_queue>();
  kernel_state state;
  state.queue = queue.get();
  while (from < end) {
    unsigned char *to = out.data();
    from += kernel(from, static_cast<size_t>(end - from), static_cast<size_t>(end - from), to,
                   state, setup);
    if (from < end) from += std::min(step, static_cast<size_t>(end - from));
  }
}

// A portable stretch over a range that ends inside a unit (the block loop's ranges end where
// the output room does): the portable kernel finishes the unit past the end, and the tier's
// kernel is not called after it with what would be a negative size.
TEST(kernels, a_portable_stretch_may_finish_a_unit_past_its_range) {
  std::vector<uint32_t> steps(0x10000);
  const encode_setup setup = make_encode_setup(unicode_to_cp932.data(), nullptr, 0, steps.data());
  const std::string input = unit_bytes('a', false) + unit_bytes('b', false);
  const encode_kernel tier = +[](const unsigned char *, size_t size, size_t readable,
                                 unsigned char *&, kernel_state &, const encode_setup &) {
    EXPECT_LE(size, readable);
    return size_t{0};
  };
  for (const size_t size : {size_t{3}, size_t{4}}) {
    kernel_state state;
    size_t portable_left = 64;
    unsigned char out[8];
    unsigned char *to = out;
    EXPECT_EQ(run_kernel(tier, portable_kernel_tier().encode[BE],
                         reinterpret_cast<const unsigned char *>(input.data()), size, 4, to, state,
                         portable_left, setup),
              4u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 2), "ab");
  }
}

// A range that ends anywhere in UTF-8 kanji alone, kanji with ASCII, or ASCII with a kanji now
// and then: every tier takes what the portable one takes (every character that begins in the
// range, none that begins past it) and writes what it writes.
TEST(kernels, ranges_end_where_the_portable_kernel_ends_them) {
  std::vector<uint32_t> steps(0x10000);
  const encode_setup setup = make_encode_setup(unicode_to_cp932.data(), nullptr, 0, steps.data());
  const std::string kanji = character_bytes(0x4E9C, U8);
  std::string texts[3];
  for (int k = 0; k < 120; ++k) {
    texts[0] += kanji;
    texts[1] += k % 3 == 2 ? "a" : kanji;
    texts[2] += k % 20 == 19 ? kanji : "a";
  }
  const auto queue = std::make_unique<lookup_queue>();
  auto encode = [&](encode_kernel kernel, const std::string &text, size_t size) {
    kernel_state state;
    state.queue = queue.get();
    unsigned char out[512];
    unsigned char *to = out;
    const size_t used = kernel(reinterpret_cast<const unsigned char *>(text.data()), size,
                               text.size(), to, state, setup);
    return std::make_pair(used, std::string(reinterpret_cast<char *>(out), to - out));
  };
  for (const std::string &text : texts)
    for (size_t size = 1; size <= 160; ++size) {
      const auto expected = encode(portable_kernel_tier().encode[U8], text, size);
      for (const kernel_tier *tier : available_tiers())
        EXPECT_EQ(encode(tier->encode[U8], text, size), expected)
            << tier->name << ", " << size << " bytes of " << to_hex(text.substr(0, 12));
    }
}

// The last entries of each table (U+FFFE, U+FFFF; the code 0xFCFC), dense and sparse, reach
// every tier's lookups without a read past the table.
TEST(kernels, table_reads_stay_inside_the_tables) {
  const guarded_table<uint16_t> encode(unicode_to_cp932.data(), unicode_to_cp932.size());
  std::vector<uint32_t> steps(0x10000);
  const encode_setup encoding = make_encode_setup(encode.table, nullptr, 0, steps.data());
  const guarded_table<int16_t> decode(cp932_double.data(), cp932_double.size());
  const guarded_table<uint32_t> decode_utf8(cp932_double_utf8.data(), cp932_double_utf8.size());
  const decode_setup decoding =
      make_decode_setup(cp932_single.data(), decode.table, decode_utf8.table);
  for (const kernel_tier *tier : available_tiers()) {
    SCOPED_TRACE(tier->name);
    for (const unicode_form form : {BE, LE, U8}) {
      std::string dense, sparse;
      for (int k = 0; k < 400; ++k) {
        const unsigned last = k % 2 == 0 ? 0xFFFF : 0xFFFE;
        dense += character_bytes(last, form) + character_bytes(0x3042, form);
        sparse += character_bytes(last, form) + std::string(40 * traits_of(form).unit_bytes, 0);
      }
      for (const std::string *text : {&dense, &sparse})
        run_kernel_over(tier->encode[form], encoding, *text, form == U8 ? 3 : 2);
      std::string codes;
      for (int k = 0; k < 400; ++k) codes += hex("FC FC 82 A0") + std::string(k % 50, 'a');
      run_kernel_over(tier->decode[form], decoding, codes, 2);
    }
  }
  reset_varnok_state();
}

// Line feeds counted here one by one against the counter, in every form, for every length up
// to 300 at every start within a unit pair, over sparse text, dense text (all line feeds: a
// lane's count must not overflow) and none; bytes such as 0A 0A in UTF-16 hold no line feed.
TEST(line_feeds, counted_as_one_by_one) {
  std::mt19937 random(3);
  std::string sparse(20000, 'a'), dense(20000, '\n'), none(20000, '\0');
  for (char &c : sparse) c = random() % 40 == 0 ? '\n' : random() % 3 == 0 ? '\0' : 'a';
  const std::pair<line_feed_form, std::string> forms[] = {{line_feed_form::byte, "\n"},
                                                          {line_feed_form::utf16_big, {0, 10}},
                                                          {line_feed_form::utf16_little, {10, 0}}};
  for (const auto &form_and_line_feed : forms)
    for (const std::string *text : {&sparse, &dense, &none}) {
      const line_feed_form form = form_and_line_feed.first;
      const std::string &line_feed = form_and_line_feed.second;
      auto check = [&](size_t start, size_t size) {
        line_feed_count expected{0, 0};
        for (size_t at = 0; at + line_feed.size() <= size; at += line_feed.size())
          if (text->compare(start + at, line_feed.size(), line_feed) == 0)
            expected = {expected.count + 1, at + line_feed.size()};
        const auto bytes = reinterpret_cast<const unsigned char *>(text->data()) + start;
        const line_feed_count found = count_line_feeds(bytes, size, form);
        EXPECT_EQ(found.count, expected.count) << start << " + " << size;
        EXPECT_EQ(found.after_last, expected.after_last) << start << " + " << size;
      };
      for (size_t start = 0; start < 2; ++start)
        for (size_t size = 0; size <= 300; ++size) check(start, size);
      check(0, text->size());
    }
}

// The choice between a tier and the portable kernel, with the ticks of each sample given: the
// first bytes warm the caches, the trial's samples alternate as drift cancels out, the faster
// path wins (an interrupt in one sample does not decide; the portable kernel needs a margin; a
// change needs two trials in a row), and its stretch doubles while trials agree.
TEST(path_choice, the_faster_path_converts_the_stretch) {
  struct trial {
    uint64_t tier, portable; // ticks a sample
    uint64_t one_slow_tier;  // ticks of the tier's first sample, when not 0
    bool portable_after;     // the path, and the bytes before the next trial
    size_t left_after;
  };
  const trial trials[] = {
      {100, 150, 0, false, CHOICE_FIRST_STRETCH},
      {100, 150, 5000, false, 2 * CHOICE_FIRST_STRETCH}, // the interrupted sample is left out
      {150, 100, 0, false, 0},                           // a doubt: at once another trial
      {150, 100, 0, true, CHOICE_FIRST_STRETCH},
      {150, 100, 0, true, 2 * CHOICE_FIRST_STRETCH},
      {120, 120, 0, true, 0},                    // a tie is for the tier: a doubt
      {100, 98, 0, false, CHOICE_FIRST_STRETCH}, // as is a portable kernel 2% faster
      {100, 150, 0, false, 2 * CHOICE_FIRST_STRETCH},
  };
  path_choice choice;
  EXPECT_FALSE(choice.portable);
  EXPECT_EQ(choice.left, CHOICE_WARM_UP);
  uint64_t now = 1000;
  for (const trial &t : trials) {
    next_choice_step(choice, now); // the warm-up or the last stretch ends
    std::string order;
    for (unsigned sample = 0; sample < CHOICE_SAMPLES; ++sample) {
      order += choice.portable ? 'P' : 'T';
      EXPECT_EQ(choice.left, CHOICE_SAMPLE);
      const bool first_tier = sample == 0;
      now += choice.portable                 ? t.portable
             : first_tier && t.one_slow_tier ? t.one_slow_tier
                                             : t.tier;
      next_choice_step(choice, now);
    }
    EXPECT_EQ(order, "TPPTTPPTTPPTTPPTTPPTTPPTTPPTTPPT");
    EXPECT_EQ(choice.portable, t.portable_after) << t.tier << " " << t.portable;
    EXPECT_EQ(choice.left, t.left_after) << t.tier << " " << t.portable;
  }
  // Trials that keep agreeing stop doubling at the longest stretch.
  for (int k = 0; k < 12; ++k) {
    next_choice_step(choice, now);
    for (unsigned sample = 0; sample < CHOICE_SAMPLES; ++sample)
      next_choice_step(choice, now += choice.portable ? 200 : 100);
  }
  EXPECT_EQ(choice.left, CHOICE_LONGEST_STRETCH);
  // Counting bytes moves the portable stretch with the path.
  size_t portable_left = 0;
  count_choice_bytes(choice, CHOICE_LONGEST_STRETCH, portable_left); // a trial begins: the tier
  EXPECT_EQ(portable_left, 0u);
  count_choice_bytes(choice, CHOICE_SAMPLE - 1, portable_left);
  EXPECT_EQ(portable_left, 0u);
  count_choice_bytes(choice, 1, portable_left); // the second sample: the portable kernel
  EXPECT_EQ(portable_left, SIZE_MAX);
}

} // namespace
