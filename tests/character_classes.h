// SPDX-License-Identifier: MIT
// Text built from the mapping by classes of characters, with what each piece must give: for the
// kernel tests and the structure-aware fuzz target. Nothing here comes from the converters.
#pragma once

#include "cp932_rows.h"
#include "hex.h"
#include "in_memory.h"
#include "status.h"
#include "unicode_form.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// A piece of text and what it must give; `status` is ORed into the whole text's status.
struct piece {
  std::string input, output;
  int status;
};

inline std::string unit_bytes(unsigned unit, bool little) {
  const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
  return little ? std::string{low, high} : std::string{high, low};
}

constexpr unicode_form BE = unicode_form::utf16_big, LE = unicode_form::utf16_little,
                       U8 = unicode_form::utf8;

// A character in a form of the Unicode side, written out here from the definitions.
inline std::string character_bytes(unsigned value, unicode_form form) {
  const bool little = traits_of(form).little;
  if (traits_of(form).unit_bytes == 1) {
    std::string bytes;
    if (value < 0x80) return std::string(1, static_cast<char>(value));
    const int length = value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;
    for (int k = length - 1; k >= 1; --k)
      bytes.insert(0, 1, static_cast<char>(0x80 | ((value >> (6 * (length - 1 - k))) & 0x3F)));
    const unsigned lead_bits[] = {0, 0, 0xC0, 0xE0, 0xF0};
    return bytes.insert(0, 1, static_cast<char>(lead_bits[length] | value >> (6 * (length - 1))));
  }
  if (value < 0x10000) return unit_bytes(value, little);
  const unsigned offset = value - 0x10000;
  std::string pair = unit_bytes(0xD800 + (offset >> 10), little);
  return pair.append(unit_bytes(0xDC00 + (offset & 0x3FF), little));
}

// The classes a text is made of, for one program and form: items of every kind (ASCII, codes of
// one byte and two, kana, and every kind of loss, each with its audit description), the clean
// backgrounds they stand in, and the ASCII pad that moves an item to a chosen offset.
struct shape_classes {
  std::vector<std::vector<piece>> items;       // one class each
  std::vector<std::vector<piece>> backgrounds; // clean classes
  std::vector<std::string> losses;             // parallel to items: the audit description, or ""
  size_t unit;                                 // bytes of an ASCII character
  piece pad;                                   // "a"
};

// Whether `after` may follow `before` without the two reading as one sequence (an incomplete
// UTF-8 sequence before a continuation byte would).
inline bool stands_apart(const piece &before, const std::string &after) {
  const auto last = static_cast<unsigned char>(before.input.back());
  const auto first = static_cast<unsigned char>(after[0]);
  return !(last >= 0xC0 || (last >= 0x80 && before.output.empty())) || first < 0x80 ||
         first >= 0xC0;
}

// A text being built, with the output, status and audit lines (of an input named "-", on one
// line, items dropped) that it must give.
struct shaped_text {
  std::string input, output, audit;
  int status = 0;
  void add(const piece &p, const std::string &loss) {
    if (!loss.empty())
      audit += "-:1:" + std::to_string(input.size() + 1) + ": " + loss + ": dropped\n";
    input += p.input, output += p.output, status |= p.status;
  }
};

// varnok's classes, its output in `form`, with the tables of a fresh process.
inline shape_classes decoding_classes(unicode_form form) {
  std::vector<piece> ascii, kana, pairs, dense_kana;
  for (const cp932_row &row : cp932_rows) {
    const std::string bytes = row.code < 0x100 ? std::string(1, static_cast<char>(row.code))
                                               : unit_bytes(row.code, false);
    piece p{bytes, character_bytes(row.unicode, form), 0};
    if (row.code < 0x80 && row.code >= 0x20)
      ascii.push_back(p);
    else if (row.code >= 0xA1 && row.code <= 0xDF)
      kana.push_back(p);
    else if (row.code >= 0x100)
      (row.code >> 8 == 0x82 || row.code >> 8 == 0x83 ? dense_kana : pairs).push_back(p);
  }
  std::vector<piece> mixed = ascii;
  mixed.insert(mixed.end(), pairs.begin(), pairs.end());
  shape_classes classes;
  classes.unit = 1;
  classes.pad = {"a", character_bytes('a', form), 0};
  classes.backgrounds = {ascii, pairs, dense_kana, mixed, kana};
  classes.items = {ascii, kana, pairs, dense_kana};
  classes.losses.assign(classes.items.size(), "");
  const std::pair<const char *, const char *> losses[] = {
      {"80", "invalid byte 0x80"},
      {"FD", "invalid byte 0xFD"},
      {"F0 40", "code 0xF040 has no character"},
      {"85 40", "code 0x8540 has no character"},
      {"81 20", "lead byte 0x81 followed by 0x20"},
      {"9F FD", "lead byte 0x9F followed by 0xFD"},
  };
  for (const auto &[bytes, description] : losses) {
    const bool bad = std::string(description).find("has no") == std::string::npos;
    const std::string out = std::string(bytes) == "81 20" ? character_bytes(0x20, form) : "";
    classes.items.push_back({{hex(bytes), out, bad ? STATUS_INVALID : 0}});
    classes.losses.push_back(description);
  }
  return classes;
}

// dostrel's classes, its input in `form`, with the tables of a fresh process (`inverse`: the
// inverse of the mapping, as inverse_mapping gives it).
inline shape_classes encoding_classes(unicode_form form,
                                      const std::map<unsigned, unsigned> &inverse) {
  std::vector<piece> ascii, one_byte, pairs, dense_kana;
  for (const auto &[character, code] : inverse) {
    piece p{character_bytes(character, form),
            code < 0x100 ? std::string(1, static_cast<char>(code)) : unit_bytes(code, false), 0};
    if (character < 0x80 && character >= 0x20)
      ascii.push_back(p);
    else if (code >= 0x80 && code < 0x100)
      one_byte.push_back(p);
    else if (code >= 0x100)
      (code >> 8 == 0x82 || code >> 8 == 0x83 ? dense_kana : pairs).push_back(p);
  }
  std::vector<piece> mixed = ascii;
  mixed.insert(mixed.end(), pairs.begin(), pairs.end());
  shape_classes classes;
  classes.unit = traits_of(form).unit_bytes;
  classes.pad = {character_bytes('a', form), "a", 0};
  classes.backgrounds = {ascii, pairs, dense_kana, mixed, one_byte};
  classes.items = {ascii, one_byte, pairs, dense_kana};
  classes.losses.assign(classes.items.size(), "");
  std::vector<std::pair<std::string, std::string>> losses = {
      {character_bytes(0xE9, form), "U+00E9 has no code"},
      {character_bytes(0xFFFF, form), "U+FFFF has no code"},
      {character_bytes(0xFFFE, form), "U+FFFE has no code"},
      {character_bytes(0x1F600, form), "U+1F600 is beyond the BMP"},
  };
  if (form == U8) {
    for (const char *bytes : {"CE", "E3 81", "E3", "F0 9F 92", "C0", "FF", "80"}) {
      std::string description = "invalid UTF-8";
      for (char c : hex(bytes)) {
        char text[8];
        std::snprintf(text, sizeof text, " 0x%02X", static_cast<unsigned char>(c));
        description += text;
      }
      losses.push_back({hex(bytes), description});
    }
  } else {
    losses.push_back({unit_bytes(0xDC00, traits_of(form).little), "lone surrogate 0xDC00"});
  }
  for (const auto &[bytes, description] : losses) {
    const bool bad = description.rfind("invalid", 0) == 0;
    classes.items.push_back({{bytes, "", bad ? STATUS_INVALID : 0}});
    classes.losses.push_back(description);
  }
  return classes;
}
