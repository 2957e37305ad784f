// SPDX-License-Identifier: MIT
// Replacing files by their conversion (--in-place). Each file is opened once, and all that is
// known of it comes from that descriptor; its new content goes to a hidden file in the same
// folder, made relative to the folder's descriptor, which takes the file's name in one atomic
// rename. After a crash or power loss at any moment a file is its old content or its new one,
// complete.
//
// A replacement is a value with an explicit life: opened (the original open for reading),
// writing (its new file exists), written (the new file complete, waiting in the batch), then
// free again once renamed or removed. The values live in the batch, which commits its written
// files together: their data made durable, then each renamed over its original (unless the
// original changed meanwhile), then each folder made durable. SIGINT, SIGTERM and SIGHUP (on
// Windows Ctrl-C and Ctrl-Break) remove every new file not yet renamed and end the process as
// the signal would; SIGXFSZ is ignored, so that a file-size limit is a write error.
#pragma once

#include <cstddef>
#include <cstdint>

enum class file_kind { regular, symbolic_link, other };

// What replacing a file must know of it and keep, taken from its open descriptor.
struct file_facts {
  file_kind kind;
  unsigned long links; // names the file has
  unsigned long mode;  // POSIX: the permission bits; Windows: the attributes
  long owner, group;   // POSIX only
  uint64_t size;
  int64_t modified; // the time its content last changed, in the system's finest unit
  int64_t changed;  // POSIX: the time its content or metadata last changed (no call sets it
                    // back, as one can the other); Windows: as `modified`
  uint64_t device, inode;
};

enum class replacement_state { free, opened, writing, written };

// The room for a hidden name: a dot, the file's name (shortened where the whole would be too
// long for a folder entry), a dot, the program's name, a dash and six random characters.
constexpr size_t HIDDEN_NAME_ROOM = 256 + 40;

struct replacement {
  replacement_state state = replacement_state::free;
  const char *name = nullptr;    // as given; it lives as long as the run
  const char *base = nullptr;    // its last component
  const char *refusal = nullptr; // why it is not to be opened at all (its folder), or null
  unsigned folder = 0;           // its folder's place in the batch
  int original = -1;             // the original, open for reading, until close_original
  file_facts facts = {};
  int fd = -1;                        // the new file while it is written
  uint64_t new_inode = 0;             // the new file's identity (on the original's device)
  bool keep_hidden = false;           // the hidden name holds another's file after a failed undo
  char hidden[HIDDEN_NAME_ROOM] = {}; // the new file's name in the folder
};

// What went wrong with a written file when the batch was committed; the file it would replace
// is as it was, but after folder_not_synced.
enum class commit_problem {
  not_durable,      // its data could not be made durable: not renamed
  changed,          // the original changed (or went, or another file took its name) since it
                    // was read: not renamed
  not_replaced,     // the rename failed
  folder_not_synced // renamed, but its folder could not be made durable
};
using commit_report = void (*)(const replacement &file, commit_problem problem, int error);

// Opens `name` for replacing by a conversion made by `program` (whose name the hidden file
// carries): its folder, reached without following another user's symbolic link and the same
// folder for the whole run (else `refusal` says so), then the file itself, without following a
// symbolic link or waiting on a FIFO. The value is the batch's next one, in state opened, the facts
// taken from the descriptor; the batch is committed first when it is full (problems go to
// `report`). When the file cannot be opened, `error` is set (else 0) and the facts' kind still
// tells a symbolic link or another kind of entry where that is the reason.
replacement &open_original(const char *name, const char *program, commit_report report, int &error);

// Closes the original (the replacement keeps its facts).
void close_original(replacement &r);

// Reads the original's bytes at `offset`: the count, 0 at its end, -1 with errno set.
long read_original_at(const replacement &r, unsigned char *buffer, size_t size, uint64_t offset);

// Creates the new file, empty and readable by the process alone: state writing. False with
// errno set.
bool create_new_file(replacement &r);

// Appends to the new file: false with errno set.
bool write_new_file(replacement &r, const unsigned char *data, size_t size);

// Gives the new file what decides who may use the original: its owner and group, its mode, its
// access control list and every extended attribute (on Windows the replacement keeps its
// security descriptor, attributes and streams itself). Null when all is kept; else what could
// not be (`error` set), and the new file must not replace the original, whose access it would
// change.
const char *copy_access(replacement &r, int &error);

// Completes the new file (its data made durable by its own descriptor where a sync of the file
// system is not known to reach the storage), closes it and leaves it in the batch: state
// written. False with errno set: the new file is removed.
bool finish_new_file(replacement &r);

// Removes the new file if there is one, closes the original if it is open: state free.
void discard_replacement(replacement &r);

// Commits every written file of the batch, each problem going to `report`; at the end of a
// run (`run_ends`) the folders seen in it are forgotten too.
void commit_replacements(commit_report report, bool run_ends = false);

// True when the new file stopped growing at the process's own file-size limit (a write then
// fails with EFBIG, as it does for a file too large for its file system).
bool file_size_limit_reached(const replacement &r);

// Sets the read position of `fd` back to the start: false with errno set.
bool rewind_file(int fd);
