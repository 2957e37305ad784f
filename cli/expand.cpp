// SPDX-License-Identifier: MIT
#include "expand.h"

#include "messages.h"
#include "paths.h"
#include "platform.h"
#include "run.h"
#include "status.h"

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

// True once a name was refused because the system could not hand it over as it is.
bool name_refused = false;

void refuse_name(const char *name) {
  print_message({name, ": ", inexact_name_reason(), "\n"});
  name_refused = true;
}

// Appends the names that `pattern` matches in the platform's order, or the pattern itself when
// nothing but "." and ".." (or nothing at all) matches. With `skip_hidden`, names that begin with
// a dot match only a pattern whose own part does too. A match that cannot be named exactly (on
// Windows, a character the ANSI code page lacks) is refused with its line.
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
  bool nothing_added = true, any_refused = false;
  do {
    if (is_dot_or_dot_dot(name) || (name[0] == '.' && !hidden_wanted)) continue;
    char *path = join_path(directory, name);
    if (!entry_names_exactly(search)) {
      refuse_name(path);
      std::free(path);
      any_refused = true;
      continue;
    }
    nothing_added = false;
    append(list, path);
  } while (find_next_entry(search, name));
  if (nothing_added && !any_refused) append(list, pattern);
  std::free(directory);
  end_search(search);
}

// An argument is expanded when it holds a wildcard and names nothing that exists as it is.
bool is_pattern(const char *arg) {
  return has_wildcard(arg) && !path_exists(arg);
}

// What the leading option groups say, read as the option scanner reads them: where the names
// begin, and whether --in-place is asked for. The hidden files it makes beside the files it
// converts (left behind only by a crash) must never be taken for files to convert. Every p in
// a group takes the next argument as its value, which is no option group.
struct leading_options {
  int first_name;
  bool in_place;
};

leading_options read_leading_options(int argc, char **argv) {
  leading_options found = {argc, false};
  int index = 1;
  for (; index < argc; ++index) {
    const char *arg = argv[index];
    if (!(arg[0] == '-' || (SLASH_STARTS_OPTION && arg[0] == '/'))) break;
    if (std::strcmp(arg, "--") == 0) {
      ++index;
      break;
    }
    if (std::strcmp(arg, "--in-place") == 0) found.in_place = true;
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "--version") == 0) return found;
    if (std::strcmp(arg, "--in-place") == 0) continue;
    for (const char *letter = arg + 1; *letter != '\0'; ++letter) index += *letter == 'p';
  }
  found.first_name = index;
  return found;
}

} // namespace

int expand_arguments(int argc, char **argv, const program_profile &profile) {
  // Before any file is opened: none may take the number of a closed standard descriptor.
  open_standard_descriptors();
  program_name = argc > 0 ? argv[0] : "";
  const leading_options options = read_leading_options(argc, argv);
  bool any_change = false;
  for (int index = 1; index < argc && !any_change; ++index)
    any_change = is_pattern(argv[index]) ||
                 (index >= options.first_name && inexact_argument(index) != nullptr);
  if (!any_change) return run(argc, argv, profile);

  argument_list &list = expanded_arguments;
  append(list, argv[0]);
  int names = 0;
  for (int index = 1; index < argc; ++index) {
    const int before = list.count;
    const char *inexact = index >= options.first_name ? inexact_argument(index) : nullptr;
    if (inexact != nullptr)
      refuse_name(inexact);
    else if (is_pattern(argv[index]))
      append_matches(list, argv[index], options.in_place);
    else
      append(list, argv[index]);
    if (index >= options.first_name) names += list.count - before;
  }
  // With every name refused, standard input is no stand-in for them.
  if (name_refused && names == 0) return STATUS_FAILURE;
  const int status = run(list.count, list.items, profile);
  return name_refused ? status | STATUS_FAILURE : status;
}
