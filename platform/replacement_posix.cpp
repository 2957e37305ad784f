// SPDX-License-Identifier: MIT
#include "replacement.h"

#include "file_calls.h"
#include "trusted_folders.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <initializer_list>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

// The files of one batch: written ones waiting for their commit, and the one being converted.
// A signal handler reads them, so they change state only while signals are held.
constexpr size_t MOST_FILES = 128;
replacement files[MOST_FILES];
size_t files_taken = 0; // the places taken since the last commit (some may be free again)

// The folders of the batch's files, each opened once. Files in a folder that cannot be read
// (it could not be synced) or on a file system where a sync of the whole is not known to reach
// the storage are synced each by its own descriptor; the others by one sync of their file
// system for the whole batch, far cheaper (10,000 files of 4 KiB on ext4 in 0.4-1.7 s where
// a sync per file took 4.5-6.3 s).
struct folder {
  const char *path; // the folder part of a name (without its last '/'); length 0 is "."
  size_t length;
  int fd;
  int unreadable; // errno of opening it for reading (it is then opened only to be searched)
  bool sync_each_file;
  dev_t device;
  bool cannot_exchange; // its file system cannot swap two names
};
folder folders[MOST_FILES];
unsigned folder_count = 0;

void remove_new_files(int signal_number) {
  for (const replacement &r : files)
    if (r.state == replacement_state::writing || r.state == replacement_state::written)
      unlinkat(folders[r.folder].fd, r.hidden, 0);
  ::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

constexpr int GUARDED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

void guard_signals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action = {};
  action.sa_handler = remove_new_files;
  sigemptyset(&action.sa_mask);
  for (int signal_number : GUARDED_SIGNALS) {
    struct sigaction previous;
    // A signal the caller ignores stays ignored (nohup).
    if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
      continue;
    sigaction(signal_number, &action, nullptr);
  }
  // A file-size limit makes a write fail (EFBIG) instead of ending the process.
  ::signal(SIGXFSZ, SIG_IGN);
}

// Holds the guarded signals back while the batch's files change state.
struct signals_held {
  signals_held() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : GUARDED_SIGNALS) sigaddset(&held, signal_number);
    sigprocmask(SIG_BLOCK, &held, &saved);
  }
  ~signals_held() { sigprocmask(SIG_SETMASK, &saved, nullptr); }
  signals_held(const signals_held &) = delete;
  signals_held &operator=(const signals_held &) = delete;
  sigset_t saved;
};

// Descriptors the batch may keep open for its folders, leaving room for the standard ones, the
// original and the new file.
unsigned most_folders() {
  static const unsigned most = [] {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 128u;
    const rlim_t room = limit.rlim_cur > 16 ? limit.rlim_cur - 16 : 1;
    return static_cast<unsigned>(room < MOST_FILES ? room : MOST_FILES);
  }();
  return most;
}

// A sync of the whole file system reports write-back errors only since Linux 5.8.
bool file_system_sync_reports_errors() {
  static const bool reports = [] {
    utsname system;
    if (uname(&system) != 0) return false;
    unsigned major = 0, minor = 0;
    const char *at = system.release;
    while (*at >= '0' && *at <= '9') major = major * 10 + static_cast<unsigned>(*at++ - '0');
    if (*at == '.') ++at;
    while (*at >= '0' && *at <= '9') minor = minor * 10 + static_cast<unsigned>(*at++ - '0');
    return major > 5 || (major == 5 && minor >= 8);
  }();
  return reports;
}

// File systems whose whole sync reaches their storage (syncfs returns 0 on FUSE, for one,
// without the daemon ever seeing a sync).
bool whole_sync_reaches_storage(int fd) {
  struct statfs status;
  if (system_calls.file_system_of(fd, &status) != 0) return false;
  switch (static_cast<unsigned long>(status.f_type)) {
  case 0xEF53:     // ext2, ext3, ext4
  case 0x58465342: // XFS
  case 0x9123683E: // Btrfs
  case 0xF2F52010: // F2FS
  case 0x01021994: // tmpfs
    return file_system_sync_reports_errors();
  default:
    return false;
  }
}

void close_folders() {
  for (unsigned k = 0; k < folder_count; ++k) system_calls.close(folders[k].fd);
  folder_count = 0;
}

// Why a folder of a name is not to be entered, for the file's line.
constexpr char FOREIGN_LINK[] = "its folder is reached through another user's symbolic link";
constexpr char FOLDER_REPLACED[] = "its folder was replaced during the run";

// The place of the folder of `name` in the batch, opened when it is new; -1 with errno set, and
// `refusal` set where the folder is not to be entered.
int find_folder(const char *name, size_t length, commit_report report, const char *&refusal) {
  for (unsigned k = 0; k < folder_count; ++k)
    if (folders[k].length == length && std::strncmp(folders[k].path, name, length) == 0)
      return static_cast<int>(k);
  if (folder_count == most_folders()) commit_replacements(report);
  folder &f = folders[folder_count];
  f = {name, length, -1, 0, false, 0, false};
  bool foreign_link = false;
  const int named = open_folder_by_trusted_links(name, length, foreign_link);
  if (named < 0) {
    if (foreign_link) refusal = FOREIGN_LINK;
    return -1;
  }
  // Read access lets the folder be synced; one that may be searched and written but not read
  // keeps the descriptor that only names it.
  f.fd = system_calls.open_at(named, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (f.fd >= 0) {
    system_calls.close(named);
  } else if (errno == EACCES) {
    f.unreadable = errno;
    f.fd = named;
  } else {
    const int error = errno;
    system_calls.close(named);
    errno = error;
    return -1;
  }
  struct stat status;
  const bool known = fstat(f.fd, &status) == 0;
  const int error = errno;
  if (!known || !same_folder_as_first_seen(name, length, status.st_dev, status.st_ino)) {
    if (known) refusal = FOLDER_REPLACED;
    system_calls.close(f.fd);
    errno = known ? ENOENT : error;
    return -1;
  }
  f.device = status.st_dev;
  f.sync_each_file = f.unreadable != 0 || !whole_sync_reaches_storage(f.fd);
  return static_cast<int>(folder_count++);
}

void take_facts(const struct stat &status, file_facts &facts) {
  facts.kind = S_ISLNK(status.st_mode)   ? file_kind::symbolic_link
               : S_ISREG(status.st_mode) ? file_kind::regular
                                         : file_kind::other;
  facts.links = static_cast<unsigned long>(status.st_nlink);
  facts.mode = status.st_mode & 07777;
  facts.owner = static_cast<long>(status.st_uid);
  facts.group = static_cast<long>(status.st_gid);
  facts.size = static_cast<uint64_t>(status.st_size);
  facts.modified =
      static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
  facts.changed = static_cast<int64_t>(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;
  facts.device = static_cast<uint64_t>(status.st_dev);
  facts.inode = static_cast<uint64_t>(status.st_ino);
}

// Six characters of [0-9A-Za-z], different at every call.
void random_suffix(char *to) {
  static uint64_t state = 0;
  if (state == 0) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    state = static_cast<uint64_t>(getpid()) << 32 ^ static_cast<uint64_t>(now.tv_nsec) ^
            static_cast<uint64_t>(now.tv_sec);
  }
  state += 0x9E3779B97F4A7C15ULL; // splitmix64
  uint64_t mixed = state;
  mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
  mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
  mixed ^= mixed >> 31;
  static const char DIGITS[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  for (int k = 0; k < 6; ++k, mixed /= 62) to[k] = DIGITS[mixed % 62];
}

const char *hidden_program = "";

// ".NAME.PROGRAM-XXXXXX", NAME shortened (not inside a UTF-8 character) where the whole would
// pass the longest name a folder entry may have.
void make_hidden_name(replacement &r) {
  const size_t program = std::strlen(hidden_program);
  const size_t most = NAME_MAX - (1 + 1 + program + 1 + 6);
  size_t keep = std::strlen(r.base);
  if (keep > most) {
    keep = most;
    while (keep > 0 && (static_cast<unsigned char>(r.base[keep]) & 0xC0) == 0x80) --keep;
  }
  char *at = r.hidden;
  *at++ = '.';
  std::memcpy(at, r.base, keep);
  at += keep;
  *at++ = '.';
  std::memcpy(at, hidden_program, program);
  at += program;
  *at++ = '-';
  random_suffix(at);
  at[6] = '\0';
}

#if defined(ENODATA)
constexpr int NO_SUCH_ATTRIBUTE = ENODATA;
#else
constexpr int NO_SUCH_ATTRIBUTE = ENOATTR;
#endif

bool is_access_control_list(const char *attribute) {
  return std::strcmp(attribute, "system.posix_acl_access") == 0;
}

// The names of the original's extended attributes, each ended by a null byte: their length, or
// -1 with errno set.
ssize_t list_original_attributes(const replacement &r, char *names, size_t size) {
  const ssize_t listed = system_calls.list_attributes(r.original, names, size);
  return listed < 0 && (errno == ENOTSUP || errno == EOPNOTSUPP) ? 0 : listed;
}

// Takes away an access control list the new file inherited from its folder when the original
// has none: before the mode is set, which would open it to the users that list names.
const char *remove_inherited_list(replacement &r, const char *names, ssize_t listed, int &error) {
  for (ssize_t at = 0; at < listed; at += static_cast<ssize_t>(std::strlen(names + at)) + 1)
    if (is_access_control_list(names + at)) return nullptr;
  if (system_calls.remove_attribute(r.fd, "system.posix_acl_access") != 0 &&
      errno != NO_SUCH_ATTRIBUTE && errno != ENOTSUP && errno != EOPNOTSUPP) {
    error = errno;
    return "its access control list";
  }
  return nullptr;
}

// Copies every extended attribute of the original (its access control list among them) to the
// new file.
const char *copy_attributes(replacement &r, const char *names, ssize_t listed, int &error) {
  static unsigned char value[65536];
  for (ssize_t at = 0; at < listed; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    const char *attribute = names + at;
    const ssize_t size = system_calls.get_attribute(r.original, attribute, value, sizeof value);
    if (size < 0 ||
        system_calls.set_attribute(r.fd, attribute, value, static_cast<size_t>(size)) != 0) {
      error = errno;
      return is_access_control_list(attribute) ? "its access control list" : attribute;
    }
  }
  return nullptr;
}

void remove_new_file(replacement &r) {
  if (r.fd >= 0) system_calls.close(r.fd);
  r.fd = -1;
  if (r.state == replacement_state::writing || r.state == replacement_state::written)
    system_calls.unlink_at(folders[r.folder].fd, r.hidden, 0);
}

// True when `status` is the file that was read, of the same size and time. The change time is
// compared too: a rewrite of the same size whose modification time was put back (cp -p,
// rsync, touch -r) still moves it.
bool is_the_original(const struct stat &status, const replacement &r, bool with_change_time) {
  file_facts now;
  take_facts(status, now);
  return now.device == r.facts.device && now.inode == r.facts.inode && now.size == r.facts.size &&
         now.modified == r.facts.modified && (!with_change_time || now.changed == r.facts.changed);
}

// True when `name` in the file's folder is still the file that was read.
bool name_holds_original(const replacement &r, const char *name, bool with_change_time) {
  struct stat status;
  return system_calls.status_at(folders[r.folder].fd, name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
         is_the_original(status, r, with_change_time);
}

bool exchange_unsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

// Gives the new file the original's name: true, else `problem` and `error`. Where the file
// system can swap two names, the new file takes the name by a swap, and what that displaced
// must be the file read (its change time was moved by the swap itself), else the swap is undone:
// a save by rename that lands between the check and the swap is never lost. Elsewhere a check
// and a rename, with that short window between them.
bool take_name(replacement &r, commit_problem &problem, int &error) {
  folder &f = folders[r.folder];
  problem = commit_problem::changed;
  if (!name_holds_original(r, r.base, true)) return false;
  if (!f.cannot_exchange) {
    if (system_calls.exchange_at(f.fd, r.hidden, f.fd, r.base) == 0) {
      if (name_holds_original(r, r.hidden, false)) {
        system_calls.unlink_at(f.fd, r.hidden, 0); // the original, under the hidden name
        return true;
      }
      // What the name held is back under it; should that fail, the hidden name keeps it.
      r.keep_hidden = system_calls.exchange_at(f.fd, r.hidden, f.fd, r.base) != 0;
      return false;
    }
    f.cannot_exchange = exchange_unsupported(errno);
    if (!f.cannot_exchange) {
      problem = commit_problem::not_replaced;
      error = errno;
      return false;
    }
  }
  if (system_calls.rename_at(f.fd, r.hidden, f.fd, r.base) == 0) return true;
  problem = commit_problem::not_replaced;
  error = errno;
  return false;
}

// Syncs, once, the file system of every folder whose files wait for it: errno of each
// folder's sync in `failed` (0 when it succeeded).
void sync_file_systems(int *failed) {
  bool waiting[MOST_FILES] = {};
  for (const replacement &r : files)
    if (r.state == replacement_state::written && !folders[r.folder].sync_each_file)
      waiting[r.folder] = true;
  for (unsigned k = 0; k < folder_count; ++k) {
    failed[k] = 0;
    if (!waiting[k]) continue;
    unsigned same = 0;
    while (same < k && !(waiting[same] && folders[same].device == folders[k].device)) ++same;
    if (same < k)
      failed[k] = failed[same];
    else if (system_calls.sync_file_system(folders[k].fd) != 0)
      failed[k] = errno;
  }
}

} // namespace

replacement &open_original(const char *name, const char *program, commit_report report,
                           int &error) {
  guard_signals();
  hidden_program = program;
  const char *slash = std::strrchr(name, '/');
  const size_t length = slash == nullptr ? 0 : static_cast<size_t>(slash - name) + 1;
  // Both may commit the batch first: when its places are all taken, when its folders are as
  // many as it may keep open. The places are taken in order, so that the batch commits its
  // files in the order given.
  if (files_taken == MOST_FILES) commit_replacements(report);
  const char *refusal = nullptr;
  const int place = find_folder(name, length, report, refusal);
  replacement &r = files[files_taken++];
  r = replacement{};
  r.name = name;
  r.base = name[length] == '\0' ? "." : name + length; // "dir/" names the folder itself
  r.facts.kind = file_kind::regular;
  if (*name == '\0') { // not the current folder
    error = ENOENT;
    return r;
  }
  if (place < 0) {
    r.refusal = refusal;
    error = errno;
    return r;
  }
  r.folder = static_cast<unsigned>(place);
  const int fd = system_calls.open_at(folders[r.folder].fd, r.base,
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  struct stat status;
  if (fd < 0) {
    error = errno;
    // Why it could not be opened, where its kind is why: a link, a socket...
    if (system_calls.status_at(folders[r.folder].fd, r.base, &status, AT_SYMLINK_NOFOLLOW) == 0)
      take_facts(status, r.facts);
    return r;
  }
  if (fstat(fd, &status) != 0) {
    error = errno;
    system_calls.close(fd);
    return r;
  }
  take_facts(status, r.facts);
  r.original = fd;
  r.state = replacement_state::opened;
  error = 0;
  return r;
}

void close_original(replacement &r) {
  if (r.original >= 0) system_calls.close(r.original);
  r.original = -1;
}

long read_original_at(const replacement &r, unsigned char *buffer, size_t size, uint64_t offset) {
  ssize_t got;
  do got = pread(r.original, buffer, size, static_cast<off_t>(offset));
  while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

bool create_new_file(replacement &r) {
  const int folder_fd = folders[r.folder].fd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const signals_held held;
    make_hidden_name(r);
    const int fd = system_calls.open_at(folder_fd, r.hidden,
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      r.fd = fd;
      r.state = replacement_state::writing;
      struct stat status;
      r.new_inode = fstat(fd, &status) == 0 ? static_cast<uint64_t>(status.st_ino) : 0;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool write_new_file(replacement &r, const unsigned char *data, size_t size) {
  while (size > 0) {
    const ssize_t done = system_calls.write(r.fd, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

const char *copy_access(replacement &r, int &error) {
  // The owner first: changing it may clear the set-user-ID and set-group-ID bits. A file that
  // would change hands (the process may not give it away) is not replaced.
  if (system_calls.change_owner(r.fd, static_cast<uid_t>(r.facts.owner),
                                static_cast<gid_t>(r.facts.group)) != 0) {
    error = errno;
    return "its owner and group";
  }
  static char names[65536];
  const ssize_t listed = list_original_attributes(r, names, sizeof names);
  if (listed < 0) {
    error = errno;
    return "its extended attributes";
  }
  if (const char *lost = remove_inherited_list(r, names, listed, error)) return lost;
  if (system_calls.change_mode(r.fd, static_cast<mode_t>(r.facts.mode)) != 0) {
    error = errno;
    return "its permissions";
  }
  return copy_attributes(r, names, listed, error);
}

bool finish_new_file(replacement &r) {
  const bool synced = !folders[r.folder].sync_each_file || system_calls.sync_data(r.fd) == 0;
  int error = errno;
  const bool closed = system_calls.close(r.fd) == 0;
  if (synced && !closed) error = errno;
  r.fd = -1;
  if (!synced || !closed) {
    discard_replacement(r);
    errno = error;
    return false;
  }
  r.state = replacement_state::written;
  return true;
}

void discard_replacement(replacement &r) {
  const signals_held held;
  remove_new_file(r);
  close_original(r);
  r.state = replacement_state::free;
}

void commit_replacements(commit_report report, bool run_ends) {
  int sync_failed[MOST_FILES];
  sync_file_systems(sync_failed);
  bool renamed[MOST_FILES] = {};
  {
    const signals_held held;
    for (size_t k = 0; k < MOST_FILES; ++k) {
      replacement &r = files[k];
      if (r.state != replacement_state::written) continue;
      commit_problem problem = commit_problem::not_durable;
      int error = sync_failed[r.folder];
      if (error == 0) renamed[k] = take_name(r, problem, error);
      if (!renamed[k]) {
        if (!r.keep_hidden) remove_new_file(r);
        report(r, problem, error);
      }
      r.state = replacement_state::free;
    }
  }
  // Each folder once, after its renames.
  for (unsigned k = 0; k < folder_count; ++k) {
    bool any = false;
    for (size_t j = 0; j < MOST_FILES; ++j) any |= renamed[j] && files[j].folder == k;
    if (!any) continue;
    int error = folders[k].unreadable;
    if (error == 0 && system_calls.sync_folder(folders[k].fd) != 0 && errno != EINVAL)
      error = errno; // some file systems cannot sync a folder
    if (error == 0) continue;
    for (size_t j = 0; j < MOST_FILES; ++j)
      if (renamed[j] && files[j].folder == k)
        report(files[j], commit_problem::folder_not_synced, error);
  }
  close_folders();
  files_taken = 0;
  if (run_ends) forget_first_seen_folders();
}

bool file_size_limit_reached(const replacement &r) {
  rlimit limit;
  struct stat status;
  return getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && r.fd >= 0 &&
         fstat(r.fd, &status) == 0 && static_cast<rlim_t>(status.st_size) >= limit.rlim_cur;
}

bool rewind_file(int fd) {
  return lseek(fd, 0, SEEK_SET) == 0;
}
