// SPDX-License-Identifier: MIT
#include "expand.h"

#include "messages.h"
#include "paths.h"
#include "platform.h"
#include "run.h"

#include <cstdlib>
#include <cstring>

namespace {

// The expanded argument vector under construction; it lives until the process ends.
struct argument_list {
  char **items = nullptr;
  int count = 0;
  int capacity = 0;
};

// Process-wide, like the arguments it holds.
argument_list expanded_arguments;

void append(argument_list &list, char *argument) {
  if (list.count + 1 >= list.capacity) { // room for the terminating null too
    int capacity = list.capacity == 0 ? 16 : list.capacity * 2;
    void *grown = std::realloc(list.items, sizeof(char *) * static_cast<size_t>(capacity));
    if (grown == nullptr) out_of_memory();
    list.items = static_cast<char **>(grown);
    list.capacity = capacity;
  }
  list.items[list.count++] = argument;
  list.items[list.count] = nullptr;
}

bool is_dot_or_dot_dot(const char *name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Appends the names that `pattern` matches in the platform's order, or the pattern itself when
// nothing but "." and ".." (or nothing at all) matches. With `skip_hidden`, names that begin with
// a dot match only a pattern whose own part does too.
void append_matches(argument_list &list, char *pattern, bool skip_hidden) {
  directory_search *search = nullptr;
  const char *name = nullptr;
  const search_status started = find_first_entry(pattern, last_component(pattern), search, name);
  if (started == search_status::out_of_memory) out_of_memory();
  if (started == search_status::no_match) {
    append(list, pattern);
    return;
  }
  char *directory = directory_part(pattern);
  const bool hidden_wanted = !skip_hidden || pattern[last_component(pattern)] == '.';
  bool nothing_added = true;
  do {
    if (is_dot_or_dot_dot(name) || (name[0] == '.' && !hidden_wanted)) continue;
    nothing_added = false;
    append(list, join_path(directory, name));
  } while (find_next_entry(search, name));
  if (nothing_added) append(list, pattern);
  std::free(directory);
  end_search(search);
}

// An argument is expanded when it holds a wildcard and names nothing that exists as it is.
bool is_pattern(const char *arg) {
  return has_wildcard(arg) && !path_exists(arg);
}

// True when the leading option groups hold --in-place. The hidden files it makes beside the
// files it converts (left behind only by a crash) must never be taken for files to convert.
bool asks_in_place(int argc, char **argv) {
  for (int index = 1; index < argc; ++index) {
    const char *arg = argv[index];
    if (!(arg[0] == '-' || (SLASH_STARTS_OPTION && arg[0] == '/')) || std::strcmp(arg, "--") == 0)
      break;
    if (std::strcmp(arg, "--in-place") == 0) return true;
  }
  return false;
}

} // namespace

int expand_arguments(int argc, char **argv, const program_profile &profile) {
  // Before any file is opened: none may take the number of a closed standard descriptor.
  open_standard_descriptors();
  program_name = argc > 0 ? argv[0] : "";
  bool any_wildcard = false;
  for (int index = 1; index < argc && !any_wildcard; ++index)
    any_wildcard = is_pattern(argv[index]);
  if (!any_wildcard) return run(argc, argv, profile);

  argument_list &list = expanded_arguments;
  const bool skip_hidden = asks_in_place(argc, argv);
  append(list, argv[0]);
  for (int index = 1; index < argc; ++index) {
    if (is_pattern(argv[index]))
      append_matches(list, argv[index], skip_hidden);
    else
      append(list, argv[index]);
  }
  return run(list.count, list.items, profile);
}
