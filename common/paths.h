// Wildcard arguments and the path syntax they are written in. Both syntaxes are plain functions
// so that each can be tested on every system; the programs use the native one.
#pragma once

enum class path_syntax {
  windows, // separators \ and /, drive letters, \\host\share; names joined with '\'
  posix,   // '/' is the only separator; names joined with '/'
};

#ifdef _WIN32
constexpr path_syntax NATIVE_PATH_SYNTAX = path_syntax::windows;
#else
constexpr path_syntax NATIVE_PATH_SYNTAX = path_syntax::posix;
#endif

// The name the process was started by, for the out-of-memory message.
extern const char *program_name;

// True when `arg` holds * or ? outside double-byte characters; "-?" and "/?" (help requests)
// never count as patterns.
bool has_wildcard(const char *arg);

// A fresh string: the directory prefix to put in front of the names that `pattern` matches
// ("dir\sub" for "dir\sub\*.txt", "C:\" for "C:\*.txt", "" for "*.txt").
char *directory_part(const char *pattern, path_syntax syntax = NATIVE_PATH_SYNTAX);

// A fresh string: `name` joined to the directory prefix.
char *join_path(const char *prefix, const char *name, path_syntax syntax = NATIVE_PATH_SYNTAX);

// Ends the process with "%s: out of memory.\n" and status 1.
[[noreturn]] void out_of_memory();
