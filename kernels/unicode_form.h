// SPDX-License-Identifier: MIT
// The Unicode side of a conversion (varnok's output, dostrel's input) and everything that
// differs between its forms, in one table: the converters, the block loop's bounds, the audit
// and the tests read it, and code that needs one thing per form builds it with per_form, so no
// form is ever meant by an `else` or a `default:`.
#pragma once

#include "line_feeds.h"

#include <array>
#include <cstddef>
#include <type_traits>
#include <utility>

enum class unicode_form {
  utf16_big,    // UTF-16BE
  utf16_little, // UTF-16LE
  utf8,         // UTF-8
};
constexpr size_t UNICODE_FORMS = 3;

struct unicode_form_traits {
  unicode_form form;
  size_t unit_bytes; // bytes of an ASCII character, and of the smallest step through the input
  bool little;       // units stored low byte first
  unsigned char mark[3];
  size_t mark_bytes;         // the byte order mark: mark[0 .. mark_bytes)
  line_feed_form line_feeds; // how a line feed is spelled
  size_t longest_character;  // bytes of a value up to U+10FFFF, at most
  size_t shortest_non_ascii; // bytes of a character above U+007F, at least
};

constexpr unicode_form_traits FORM_TRAITS[UNICODE_FORMS] = {
    {unicode_form::utf16_big, 2, false, {0xFE, 0xFF}, 2, line_feed_form::utf16_big, 4, 2},
    {unicode_form::utf16_little, 2, true, {0xFF, 0xFE}, 2, line_feed_form::utf16_little, 4, 2},
    {unicode_form::utf8, 1, false, {0xEF, 0xBB, 0xBF}, 3, line_feed_form::byte, 4, 2},
};

constexpr bool form_traits_in_order() {
  for (size_t k = 0; k < UNICODE_FORMS; ++k)
    if (static_cast<size_t>(FORM_TRAITS[k].form) != k) return false;
  return true;
}
static_assert(form_traits_in_order(), "FORM_TRAITS must follow the order of unicode_form");

constexpr const unicode_form_traits &traits_of(unicode_form form) {
  return FORM_TRAITS[static_cast<size_t>(form)];
}

// One entry per form, in the order of unicode_form: `make(std::integral_constant<unicode_form,
// FORM>{})` for each FORM (a table of a template's instances, say).
template <typename MAKE> constexpr auto per_form(MAKE make) {
  return [&]<size_t... K>(std::index_sequence<K...>) {
    return std::array{
        make(std::integral_constant<unicode_form, static_cast<unicode_form>(K)>{})...};
  }
  (std::make_index_sequence<UNICODE_FORMS>{});
}

// The largest of `value(traits)` over the forms.
template <typename VALUE> constexpr size_t most_of_forms(VALUE value) {
  size_t most = 0;
  for (const unicode_form_traits &traits : FORM_TRAITS)
    most = value(traits) > most ? value(traits) : most;
  return most;
}
