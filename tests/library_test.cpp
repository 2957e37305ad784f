// SPDX-License-Identifier: MIT
// One table of conversions, each run through the program and through the C library, whole and
// cut into two chunks at every position with an output buffer of a few bytes: the same bytes,
// status bits and audit items every way. And two converters with different letters, in two
// threads at once, each giving what it gives alone.
#include "cp932conv.h"
#include "hex.h"
#include "program_test.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

struct library_case {
  const char *name;
  int direction;
  int form;
  const char *letters;     // besides the form, which the programs' letters give (u, l, L)
  const char *replacement; // the p value, or null
  std::string input, output;
  int status;
  std::vector<std::string> audit; // "LINE:COLUMN: DESCRIPTION: ACTION"
};

void PrintTo(const library_case &c, std::ostream *out) {
  *out << c.name;
}

const library_case CASES[] = {
    {"decode_plain",
     CP932CONV_DECODE,
     CP932CONV_UTF16BE,
     "",
     nullptr,
     hex("41 82 A0 0A"),
     hex("00 41 30 42 00 0A"),
     0,
     {}},
    {"decode_letters",
     CP932CONV_DECODE,
     CP932CONV_UTF8,
     "yd",
     nullptr,
     hex("5C 81 60"),
     hex("C2 A5 E3 80 9C"),
     0,
     {}},
    {"decode_mark",
     CP932CONV_DECODE,
     CP932CONV_UTF16LE,
     "b",
     nullptr,
     hex("82 A0"),
     hex("FF FE 42 30"),
     0,
     {}},
    {"decode_user_defined",
     CP932CONV_DECODE,
     CP932CONV_UTF8,
     "c",
     nullptr,
     hex("F0 40"),
     hex("EE 80 80"),
     0,
     {}},
    {"decode_losses",
     CP932CONV_DECODE,
     CP932CONV_UTF8,
     "w",
     "0x3013",
     hex("41 80 0A 82"),
     hex("41 E3 80 93 0A"),
     CP932CONV_INVALID | CP932CONV_TRUNCATED,
     {"1:2: invalid byte 0x80: replaced", "2:1: input ends after lead byte 0x82: dropped"}},
    {"encode_plain",
     CP932CONV_ENCODE,
     CP932CONV_UTF16BE,
     "",
     nullptr,
     hex("00 41 30 42"),
     hex("41 82 A0"),
     0,
     {}},
    {"encode_marked",
     CP932CONV_ENCODE,
     CP932CONV_UTF16BE,
     "",
     nullptr,
     hex("FF FE 41 00"),
     "A",
     0,
     {}},
    {"encode_last_letter_wins",
     CP932CONV_ENCODE,
     CP932CONV_UTF16BE,
     "zy",
     nullptr,
     hex("00 A5"),
     hex("5C"),
     0,
     {}},
    {"encode_references",
     CP932CONV_ENCODE,
     CP932CONV_UTF8,
     "xm",
     nullptr,
     hex("3C C3 A9 3E"),
     "&lt;&#xe9;&gt;",
     0,
     {}},
    {"encode_losses",
     CP932CONV_ENCODE,
     CP932CONV_UTF16BE,
     "w",
     nullptr,
     hex("00 E9 D8 00 00 41"),
     "A",
     0,
     {"1:1: U+00E9 has no code: dropped", "1:3: lone surrogate 0xD800: dropped"}},
    {"encode_broken_utf8",
     CP932CONV_ENCODE,
     CP932CONV_UTF8,
     "w",
     "0x81AC",
     hex("41 FF E3 81"),
     hex("41 81 AC"),
     CP932CONV_INVALID | CP932CONV_TRUNCATED,
     {"1:2: invalid UTF-8 0xFF: replaced", "1:3: input ends inside a character: dropped"}},
};

struct converted {
  std::string out;
  int status = 0;
  std::vector<std::string> audit;
};

void collect(void *context, const cp932conv_item *item) {
  static_cast<converted *>(context)->audit.push_back(
      std::to_string(item->line) + ":" + std::to_string(item->column) + ": " + item->description +
      (item->replaced ? ": replaced" : ": dropped"));
}

cp932conv *make(const library_case &c) {
  const cp932conv_options options = {c.direction, c.form, c.letters, c.replacement != nullptr,
                                     c.replacement ? std::stoi(c.replacement, nullptr, 0) : 0};
  cp932conv *converter = nullptr;
  EXPECT_EQ(cp932conv_new(&options, &converter), CP932CONV_OK);
  return converter;
}

// Converts `chunks` one after the other into buffers of `room` bytes.
converted run_library(cp932conv *converter, const std::vector<std::string> &chunks, size_t room) {
  converted result;
  cp932conv_reset(converter);
  cp932conv_set_audit(converter, collect, &result);
  std::vector<char> out(room);
  for (size_t k = 0; k < chunks.size(); ++k) {
    const bool final = k + 1 == chunks.size();
    size_t at = 0;
    for (int calls = 0; calls < 100000; ++calls) {
      size_t consumed = 0, written = 0;
      const int answer = cp932conv_convert(converter, chunks[k].data() + at, chunks[k].size() - at,
                                           &consumed, out.data(), out.size(), &written, final);
      result.out.append(out.data(), written);
      at += consumed;
      if (answer == CP932CONV_OK) break;
      EXPECT_EQ(answer, CP932CONV_MORE_ROOM);
    }
    EXPECT_EQ(at, chunks[k].size());
  }
  result.status = cp932conv_status(converter);
  cp932conv_set_audit(converter, nullptr, nullptr);
  return result;
}

class library : public program_test, public ::testing::WithParamInterface<library_case> {};

TEST_P(library, gives_what_the_program_gives) {
  const library_case &c = GetParam();
  cp932conv *const converter = make(c);
  ASSERT_NE(converter, nullptr);
  const converted whole = run_library(converter, {c.input}, 4096);
  EXPECT_EQ(to_hex(whole.out), to_hex(c.output));
  EXPECT_EQ(whole.status, c.status);
  EXPECT_EQ(whole.audit, c.audit);
  for (size_t cut = 0; cut <= c.input.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const converted split =
        run_library(converter, {c.input.substr(0, cut), c.input.substr(cut)}, 3);
    EXPECT_EQ(to_hex(split.out), to_hex(c.output));
    EXPECT_EQ(split.status, c.status);
    EXPECT_EQ(split.audit, c.audit);
  }
  cp932conv_free(converter);

  start(c.direction == CP932CONV_DECODE ? "VARNOK" : "DOSTREL");
  if (program.empty()) return;
  const char *form = c.form == CP932CONV_UTF8      ? "u"
                     : c.form == CP932CONV_UTF16LE ? (c.direction == CP932CONV_DECODE ? "l" : "L")
                                                   : "";
  std::vector<std::string> args = {std::string("-") + form + c.letters};
  if (c.replacement != nullptr) args.insert(args.end(), {"-p", c.replacement});
  const process_result r = run(args, c.input);
  EXPECT_EQ(to_hex(r.out), to_hex(c.output));
  EXPECT_EQ(r.status, c.status);
  std::string audit;
  for (const std::string &line : c.audit) audit += "-:" + line + "\n";
  EXPECT_EQ(r.err, audit);
}

INSTANTIATE_TEST_SUITE_P(cases, library, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<library_case> &info) {
                           return std::string(info.param.name);
                         });

// Two decoders, one with y and one without, on one long text in two threads at once.
TEST(library_threads, converters_with_other_letters_do_not_meet) {
  std::string input;
  while (input.size() < 3'000'000) input += hex("5C 82 A0 88 9F 41 0A");
  const library_case plain = {"", CP932CONV_DECODE, CP932CONV_UTF16BE, "", nullptr, {}, {}, 0, {}};
  const library_case yen = {"", CP932CONV_DECODE, CP932CONV_UTF16BE, "y", nullptr, {}, {}, 0, {}};
  cp932conv *const one = make(plain), *const other = make(yen);
  const std::string alone_one = run_library(one, {input}, 1 << 16).out;
  const std::string alone_other = run_library(other, {input}, 1 << 16).out;
  EXPECT_NE(alone_one, alone_other);
  std::string together_one, together_other;
  std::thread first([&] {
    for (int k = 0; k < 4; ++k) together_one = run_library(one, {input}, 1 << 16).out;
  });
  std::thread second([&] {
    for (int k = 0; k < 4; ++k) together_other = run_library(other, {input}, 1 << 16).out;
  });
  first.join();
  second.join();
  EXPECT_TRUE(together_one == alone_one);
  EXPECT_TRUE(together_other == alone_other);
  cp932conv_free(one);
  cp932conv_free(other);
}

// What the library refuses to make.
TEST(library_errors, refuses_what_the_programs_refuse) {
  struct refusal {
    cp932conv_options options;
    int answer;
  };
  const refusal refusals[] = {
      {{CP932CONV_DECODE, CP932CONV_UTF16BE, "q", 0, 0}, CP932CONV_BAD_LETTER},
      {{CP932CONV_ENCODE, CP932CONV_UTF16BE, "c", 0, 0}, CP932CONV_BAD_LETTER},
      {{CP932CONV_DECODE, CP932CONV_UTF16BE, "p", 0, 0}, CP932CONV_BAD_LETTER},
      {{CP932CONV_DECODE, CP932CONV_UTF8, "", 1, 0xD800}, CP932CONV_BAD_REPLACEMENT},
      {{CP932CONV_DECODE, CP932CONV_UTF16BE, "u", 1, -1}, CP932CONV_BAD_REPLACEMENT},
      {{CP932CONV_ENCODE, CP932CONV_UTF16BE, "", 1, 0x10000}, CP932CONV_BAD_REPLACEMENT},
      {{2, CP932CONV_UTF16BE, "", 0, 0}, CP932CONV_BAD_ARGUMENT},
      {{CP932CONV_DECODE, 3, "", 0, 0}, CP932CONV_BAD_ARGUMENT},
  };
  for (const refusal &r : refusals) {
    cp932conv *made = reinterpret_cast<cp932conv *>(1);
    EXPECT_EQ(cp932conv_new(&r.options, &made), r.answer) << r.options.letters;
    EXPECT_EQ(made, nullptr);
  }
  EXPECT_EQ(cp932conv_new(nullptr, nullptr), CP932CONV_BAD_ARGUMENT);
  EXPECT_STREQ(cp932conv_version(), CP932CONV_VERSION);
}

} // namespace
