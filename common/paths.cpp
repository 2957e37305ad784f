#include "paths.h"

#include "platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char *program_name = "";

void out_of_memory() {
  std::fprintf(stderr, "%s: out of memory.\n", program_name);
  std::exit(1);
}

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

} // namespace

bool has_wildcard(const char *arg) {
  if ((arg[0] == '-' || arg[0] == '/') && arg[1] == '?' && arg[2] == '\0') return false;
  for (const char *at = arg; *at != '\0'; ++at) {
    if (*at == '*' || *at == '?') return true;
    if (is_lead_byte(static_cast<unsigned char>(*at)) && at[1] != '\0') ++at;
  }
  return false;
}

char *directory_part(const char *pattern, path_syntax syntax) {
  size_t length = std::strlen(pattern);
  char *copy = allocate(length + 1);
  std::memcpy(copy, pattern, length + 1);
  size_t start = path_start(copy, syntax);
  size_t cut = start;
  for (size_t at = start; copy[at] != '\0'; ++at) {
    if (is_separator(copy[at], syntax))
      cut = at;
    else if (is_lead_byte(static_cast<unsigned char>(copy[at])) && copy[at + 1] != '\0')
      ++at;
  }
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
