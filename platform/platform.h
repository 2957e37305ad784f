// SPDX-License-Identifier: MIT
// The only place that knows which system the programs run on. Everything else calls these.
#pragma once

#include <cstddef>

// On Windows an option group may also begin with '/'; on POSIX such an argument is a path.
#ifdef _WIN32
constexpr bool SLASH_STARTS_OPTION = true;
#else
constexpr bool SLASH_STARTS_OPTION = false;
#endif

// How the system spells paths. Both syntaxes are handled everywhere (so each can be tested on
// every system); the programs use the native one.
enum class path_syntax {
  windows, // separators \ and /, drive letters, \\host\share; names joined with '\'
  posix,   // '/' is the only separator; names joined with '/'
};

#ifdef _WIN32
constexpr path_syntax NATIVE_PATH_SYNTAX = path_syntax::windows;
#else
constexpr path_syntax NATIVE_PATH_SYNTAX = path_syntax::posix;
#endif

constexpr int STDIN_FD = 0;
constexpr int STDOUT_FD = 1;
constexpr int STDERR_FD = 2;

// Opens a file for reading in binary mode: a descriptor, or -1 with errno set.
int open_for_reading(const char *name);
void close_file(int fd);

// Reads up to `size` bytes: the count, 0 at end of input, -1 with errno set on failure.
// Retries reads interrupted by a signal.
long read_bytes(int fd, unsigned char *buffer, size_t size);

// Writes all `size` bytes: true, or false with errno set.
bool write_all(int fd, const unsigned char *data, size_t size);

// Writes to standard error. A failure there (its reader gone, the descriptor closed) loses this
// text and nothing else: no signal, no status, so standard output still gets every byte.
void write_to_standard_error(const unsigned char *data, size_t size);

// Opens standard input, output and error on the null device where the caller left them closed,
// so that no file the program opens ever takes their numbers (and receives its messages).
// Called first thing; what was closed is remembered.
void open_standard_descriptors();
// True when standard input, output or error (`fd` 0, 1 or 2) was closed when the program
// started: reading or writing it then fails as on a closed descriptor.
bool standard_descriptor_was_closed(int fd);

// Asks the system to back the `size` bytes at `data`, a new buffer about to be written, with
// large pages where it can: the page faults of a buffer of hundreds of megabytes then cost a
// small part of what they would. Nothing where the system has no such advice.
void advise_large_buffer(void *data, size_t size);

// No newline translation and no end-of-file character on this descriptor.
void set_binary_mode(int fd);

// The system's description of an error number, such as "No such file or directory".
const char *error_description(int error);

// True when `byte` begins a double-byte character in the system's multibyte code page (on POSIX
// the CP932 lead bytes 0x81-0x9F and 0xE0-0xFC).
bool is_lead_byte(unsigned char byte);

// True when `path` names an existing entry of any kind (POSIX). Such an argument is a name, not a
// pattern: POSIX names may hold * and ?. Windows names cannot, so there it is always false.
bool path_exists(const char *path);

// True when both descriptors are the same regular file.
bool same_regular_file(int first, int second);
// True when the read position of `fd` lies before the end of its file.
bool read_position_before_end(int fd);

// Windows: a name the ANSI code page cannot hold reaches a program with a look-alike (best
// fit) or a '?' in place of the missing character, and would name another file or become a
// wildcard. inexact_argument gives null when argument `index` of the command line is the name
// typed, else the name to show for it ('?' for each missing character); entry_names_exactly
// tells the same of the name a directory search gave last, which then shows '?' likewise.
// POSIX names are bytes, always exact.
const char *inexact_argument(int index);
struct directory_search;
bool entry_names_exactly(const directory_search *search);
// Why such a name is refused: "cannot be named in code page 932" (the system's code page).
const char *inexact_name_reason();

// Directory enumeration of a pattern whose last component (from `name_start`) may hold * and ?.
// Names come back bare (without the directory), "." and ".." included when they match, every
// kind of entry.
struct directory_search;
enum class search_status { found, no_match, out_of_memory };
// Starts the search and gives the first name; no_match (nothing to end) when nothing matches or
// the directory cannot be read.
search_status find_first_entry(const char *pattern, size_t name_start, directory_search *&search,
                               const char *&name);
// Gives the next name; false when there is none left.
bool find_next_entry(directory_search *search, const char *&name);
void end_search(directory_search *search);
