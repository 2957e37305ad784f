// SPDX-License-Identifier: MIT
#include "paths.h"

#include "cp932_bytes.h"
#include "messages.h"
#include "platform.h"

#include <cstdlib>
#include <cstring>

namespace {

char *allocate(size_t size) {
  char *text = static_cast<char *>(std::malloc(size));
  if (text == nullptr) out_of_memory();
  return text;
}

bool is_separator(char c, path_syntax syntax) {
  return c == '/' || (syntax == path_syntax::windows && c == '\\');
}

bool is_drive_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Where the path proper starts, past a network, root or drive prefix.
size_t path_start(const char *path, path_syntax syntax) {
  if (syntax == path_syntax::posix) return path[0] == '/' ? 1 : 0;
  if (is_separator(path[0], syntax)) return is_separator(path[1], syntax) ? 2 : 1;
  if (is_drive_letter(path[0]) && path[1] == ':') return is_separator(path[2], syntax) ? 3 : 2;
  return 0;
}

// Where the directory part of `pattern` ends (its last separator, or the start of the path
// proper when it has none) and where the last component begins.
struct pattern_split {
  size_t cut;
  size_t name;
};

pattern_split split_pattern(const char *pattern, path_syntax syntax) {
  const size_t start = path_start(pattern, syntax);
  pattern_split split = {start, start};
  for (size_t at = start; pattern[at] != '\0'; at += character_length(pattern + at)) {
    if (is_separator(pattern[at], syntax)) split = {at, at + 1};
  }
  return split;
}

} // namespace

size_t character_length(const char *at) {
  const auto lead = static_cast<unsigned char>(at[0]);
  const auto trail = static_cast<unsigned char>(at[1]);
  return is_lead_byte(lead) && is_cp932_trail_byte(trail) ? 2 : 1;
}

bool has_wildcard(const char *arg) {
  if ((arg[0] == '-' || arg[0] == '/') && arg[1] == '?' && arg[2] == '\0') return false;
  for (const char *at = arg; *at != '\0'; at += character_length(at))
    if (*at == '*' || *at == '?') return true;
  return false;
}

size_t last_component(const char *pattern, path_syntax syntax) {
  return split_pattern(pattern, syntax).name;
}

char *directory_part(const char *pattern, path_syntax syntax) {
  const size_t cut = split_pattern(pattern, syntax).cut;
  char *copy = allocate(cut + 1);
  std::memcpy(copy, pattern, cut);
  copy[cut] = '\0';
  return copy;
}

char *join_path(const char *prefix, const char *name, path_syntax syntax) {
  const char separator = syntax == path_syntax::windows ? '\\' : '/';
  size_t prefix_length = std::strlen(prefix);
  size_t name_length = std::strlen(name);
  // A bare root becomes the joining separator; a bare drive ("C:", "C:\") and the empty prefix
  // take the name directly; anything else gets a separator between.
  const bool root = prefix_length == 1 && is_separator(prefix[0], syntax);
  const bool drive =
      syntax == path_syntax::windows && is_drive_letter(prefix[0]) && prefix[1] == ':' &&
      (prefix_length == 2 || (prefix_length == 3 && is_separator(prefix[2], syntax)));
  const bool with_separator = !root && !drive && prefix_length > 0;
  char *joined = allocate(prefix_length + name_length + 2);
  char *to = joined;
  if (root) {
    *to++ = separator;
  } else {
    std::memcpy(to, prefix, prefix_length);
    to += prefix_length;
    if (with_separator) *to++ = separator;
  }
  std::memcpy(to, name, name_length + 1);
  return joined;
}
