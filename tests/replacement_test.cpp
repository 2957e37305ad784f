// SPDX-License-Identifier: MIT
// --in-place inside the test process, its system calls recorded and, row by row, one of them
// failing or racing with another process: in every run each file is replaced only after its
// data is durable, and its folder made durable after the rename; no new file stays behind; a
// problem of one file leaves that file and the run goes on, a problem of the disk ends it.
#include "decode_fixture.h"
#include "file_calls.h"
#include "hex.h"
#include "in_memory.h"
#include "in_place.h"
#include "process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The call of `call` whose subject (the path it acts on) holds `subject`, its `nth` such use,
// fails with `error` (when not 0), after `action` (when not null) ran.
struct fault {
  const char *call = "";
  const char *subject = "";
  int nth = 0;
  int error = 0;
  void (*action)() = nullptr;
};

struct recorded_call {
  std::string call, subject;
};

std::vector<recorded_call> recorded;
std::map<int, std::string> path_of; // the open descriptors' paths
fault planted;
int planted_seen = 0;
unsigned long pretended_type = 0; // a file system type to report instead of the real one
const file_calls real_calls = system_calls;

// A planted error that makes a read end early, as a network file system's read may.
constexpr int ENDED_EARLY = -1;

// Records a call; true when the planted fault fails it (errno set).
bool record(const char *call, const std::string &subject) {
  recorded.push_back({call, subject});
  if (std::string(call) != planted.call || subject.find(planted.subject) == std::string::npos ||
      planted_seen++ != planted.nth)
    return false;
  if (planted.action != nullptr) planted.action();
  errno = planted.error;
  return planted.error != 0;
}

std::string joined(int folder, const char *name) {
  return folder == AT_FDCWD ? std::string(name) : path_of[folder] + "/" + name;
}

const file_calls RECORDING_CALLS = {
    [](int folder, const char *name, int flags, mode_t mode) {
      if (record("open_at", joined(folder, name))) return -1;
      const int fd = real_calls.open_at(folder, name, flags, mode);
      if (fd >= 0) path_of[fd] = joined(folder, name);
      return fd;
    },
    [](int fd, void *buffer, size_t size) -> ssize_t {
      if (!record("read", path_of[fd])) return real_calls.read(fd, buffer, size);
      return errno == ENDED_EARLY ? 0 : -1;
    },
    [](int fd, const void *data, size_t size) -> ssize_t {
      return record("write", path_of[fd]) ? -1 : real_calls.write(fd, data, size);
    },
    real_calls.status_at,
    [](int fd, struct statfs *status) {
      const int result = real_calls.file_system_of(fd, status);
      if (pretended_type != 0)
        status->f_type = static_cast<decltype(status->f_type)>(pretended_type);
      return result;
    },
    [](int fd) { return record("sync_data", path_of[fd]) ? -1 : real_calls.sync_data(fd); },
    [](int fd) {
      struct stat status;
      fstat(fd, &status);
      return record("sync_file_system", std::to_string(status.st_dev))
                 ? -1
                 : real_calls.sync_file_system(fd);
    },
    [](int fd) { return record("sync_folder", path_of[fd]) ? -1 : real_calls.sync_folder(fd); },
    [](int from_folder, const char *from, int to_folder, const char *to) {
      if (record("rename_at", joined(to_folder, to))) return -1;
      recorded.back().subject += " from " + joined(from_folder, from);
      return real_calls.rename_at(from_folder, from, to_folder, to);
    },
    // A swap gives the name as a rename does, and is recorded as one; its undo names the
    // hidden file.
    [](int from_folder, const char *from, int to_folder, const char *to) {
      if (record("rename_at", joined(to_folder, to))) return -1;
      recorded.back().subject += " from " + joined(from_folder, from);
      return real_calls.exchange_at(from_folder, from, to_folder, to);
    },
    real_calls.unlink_at,
    [](int fd, uid_t owner, gid_t group) {
      return record("change_owner", path_of[fd]) ? -1 : real_calls.change_owner(fd, owner, group);
    },
    real_calls.change_mode,
    real_calls.list_attributes,
    real_calls.get_attribute,
    real_calls.set_attribute,
    [](int fd, const char *name) {
      return record("remove_attribute", path_of[fd]) ? -1 : real_calls.remove_attribute(fd, name);
    },
    [](int fd) {
      path_of.erase(fd);
      return real_calls.close(fd);
    },
};

// Where a file's content is durable before its rename: the last write to its new file is
// followed by a sync of that file, or of its file system, before the rename; and after the
// rename, a sync of its folder.
void expect_durable_order(const std::string &directory) {
  for (size_t k = 0; k < recorded.size(); ++k) {
    if (recorded[k].call != "rename_at") continue;
    const std::string &subject = recorded[k].subject;
    const std::string target = subject.substr(0, subject.find(" from "));
    const std::string hidden = subject.substr(subject.find(" from ") + 6);
    const std::string folder = target.substr(0, target.rfind('/'));
    struct stat status;
    ASSERT_EQ(stat((directory + "/" + folder).c_str(), &status), 0);
    size_t last_write = 0, synced = 0, folder_synced = 0;
    for (size_t j = 0; j < recorded.size(); ++j) {
      const recorded_call &c = recorded[j];
      if (c.call == "write" && c.subject == hidden) last_write = j;
      if (j < k && ((c.call == "sync_data" && c.subject == hidden) ||
                    (c.call == "sync_file_system" && c.subject == std::to_string(status.st_dev))))
        synced = j;
      if (j > k && c.call == "sync_folder" && c.subject == folder && folder_synced == 0)
        folder_synced = j;
    }
    EXPECT_GT(synced, last_write) << target << ": renamed before its data was durable";
    EXPECT_GT(folder_synced, k) << target << ": its folder not synced after the rename";
  }
}

constexpr const char *GOOD = "41 82 A0 0A", *GOOD_OUT = "FE FF 00 41 30 42 00 0A";

void append_to_first() {
  write_file("f000", hex(GOOD) + "new");
}

void swap_second_for_a_link() {
  write_file("target", hex(GOOD));
  unlink("f001");
  EXPECT_EQ(symlink("target", "f001"), 0);
}

void signal_termination() {
  raise(SIGTERM);
}

void save_second_by_rename() {
  write_file("f001.saved", "saved");
  rename("f001.saved", "f001");
}

// The same size, other bytes, and the modification time put back (as cp -p, rsync, touch -r).
void rewrite_first_keeping_its_time() {
  struct stat before;
  stat("f000", &before);
  write_file("f000", std::string(static_cast<size_t>(before.st_size), 'x'));
  const timespec times[2] = {before.st_atim, before.st_mtim};
  utimensat(AT_FDCWD, "f000", times, 0);
}

// After the first batch: "other" comes to name another folder, by a link root owns.
void point_other_elsewhere() {
  mkdir("elsewhere", 0755);
  unlink("other");
  EXPECT_EQ(symlink("elsewhere", "other"), 0);
}

// How a row's files are laid out and its run made.
enum setup : unsigned {
  ON_FUSE = 1,       // in a FUSE mount (bindfs) where the machine has one, else on a file
                     // system that says it is FUSE
  KILLED = 2,        // the run ends by SIGTERM
  SPLIT = 4,         // every other file in other/ (always with more than 100 files)
  TWICE = 8,         // every name given twice
  FOREIGN_OTHER = 16 // the link "other" owned by another user (as root only)
};

struct replacement_case {
  const char *name;
  int files;       // f000, f001...; every other one (SPLIT) in other/, a folder on another file
                   // system where the machine has one (/dev/shm), reached by a link
  fault planted;   // or none
  const char *err; // standard error
  int status;
  std::vector<int> left; // the files left as they were (all others replaced)
  unsigned how = 0;      // setup bits
};

const replacement_case CASES[] = {
    {"two_file_systems_and_two_batches", 200, {}, "", 0, {}, TWICE},
    {"fuse_syncs_each_file", 3, {}, "", 0, {}, ON_FUSE},
    {"rename_refused_at_a_batch_boundary",
     130,
     {"rename_at", "f127", 0, EPERM},
     "other/f127: cannot be replaced: Operation not permitted\n",
     1,
     {127}},
    {"new_file_refused",
     3,
     {"open_at", ".f001.", 0, EACCES},
     "f001: cannot be replaced: Permission denied\n",
     1,
     {1}},
    {"full_disk_ends_the_run",
     5,
     {"write", ".f002.", 0, ENOSPC},
     "f002: write error: No space left on device\n"
     "f003: not converted: its file system failed earlier: No space left on device\n"
     "f004: not converted: its file system failed earlier: No space left on device\n",
     1,
     {2, 3, 4}},
    {"failed_sync_renames_nothing",
     3,
     {"sync_file_system", "", 0, EIO},
     "f000: write error: Input/output error\nf001: write error: Input/output error\n"
     "f002: write error: Input/output error\n",
     1,
     {0, 1, 2}},
    {"folder_not_synced",
     2,
     {"sync_folder", "", 0, EIO},
     "f000: replaced, but its folder could not be synced: Input/output error\n"
     "f001: replaced, but its folder could not be synced: Input/output error\n",
     1,
     {}},
    {"read_error_after_the_new_file",
     3,
     {"read", "f001", 36, EIO},
     "f001: Input/output error\n",
     1,
     {1}},
    {"appended_before_its_rename",
     2,
     {"sync_file_system", "", 0, 0, append_to_first},
     "f000: left unchanged: changed while being converted\n",
     8,
     {0}},
    {"swapped_for_a_link_before_its_open",
     3,
     {"open_at", "f001", 0, 0, swap_second_for_a_link},
     "f001: left unchanged: symbolic link\n",
     8,
     {1}},
    {"access_list_not_kept",
     2,
     {"remove_attribute", ".f000.", 0, EPERM},
     "f000: left unchanged: its access control list could not be kept: Operation not permitted\n",
     8,
     {0}},
    {"terminated_while_files_wait",
     3,
     {"sync_file_system", "", 0, 0, signal_termination},
     "",
     0,
     {0, 1, 2},
     KILLED},
    {"read_ended_early",
     3,
     {"read", "f001", 36, ENDED_EARLY},
     "f001: left unchanged: changed while being converted\n",
     8,
     {1}},
    {"saved_between_its_check_and_rename",
     3,
     {"rename_at", "f001", 0, 0, save_second_by_rename},
     "f001: left unchanged: changed while being converted\n",
     8,
     {1}},
    {"rewritten_with_its_time_put_back",
     2,
     {"sync_file_system", "", 0, 0, rewrite_first_keeping_its_time},
     "f000: left unchanged: changed while being converted\n",
     8,
     {0}},
    {"read_only_file_system_ends_only_its_files",
     4,
     {"open_at", ".f000.", 0, EROFS},
     "f000: cannot be replaced: Read-only file system\n"
     "f002: not converted: its file system failed earlier: Read-only file system\n",
     1,
     {0, 2},
     SPLIT},
    {"too_large_for_its_file_system",
     3,
     {"write", ".f001.", 0, EFBIG},
     "f001: write error: File too large\n",
     1,
     {1}},
    {"owner_not_kept",
     2,
     {"change_owner", ".f000.", 0, EPERM},
     "f000: left unchanged: its owner and group could not be kept: Operation not permitted\n",
     8,
     {0}},
    {"folder_reached_by_another_users_link",
     2,
     {},
     "other/f001: left unchanged: its folder is reached through another user's symbolic link\n",
     8,
     {1},
     SPLIT | FOREIGN_OTHER},
    {"folder_replaced_between_batches",
     130,
     {"sync_folder", "", 0, 0, point_other_elsewhere},
     "other/f129: left unchanged: its folder was replaced during the run\n",
     8,
     {129}},
};

class in_place_calls : public decode_fixture,
                       public ::testing::WithParamInterface<replacement_case> {};

TEST_P(in_place_calls, keeps_each_file_whole) {
  const replacement_case &c = GetParam();
  if ((c.how & FOREIGN_OTHER) != 0 && geteuid() != 0) GTEST_SKIP() << "needs root";
  const bool on_fuse = (c.how & ON_FUSE) != 0, killed = (c.how & KILLED) != 0;
  const std::string directory = make_temporary_directory();
  const std::string fuse_source = on_fuse ? make_temporary_directory() : "";
  const bool mounted =
      on_fuse &&
      std::system(("bindfs '" + fuse_source + "' '" + directory + "' 2> /dev/null").c_str()) == 0;
  char other_template[] = "/dev/shm/in_place.XXXXXX";
  const bool other = mkdtemp(other_template) != nullptr;
  const std::string other_folder = other ? other_template : directory + "/other";
  if (!other) mkdir(other_folder.c_str(), 0755);
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(directory.c_str()), 0);
  // A relative link: an emulator (qemu-user) may take "/" for the root of its sysroot.
  std::string up;
  for (const char c : directory) up += c == '/' ? "../" : "";
  ASSERT_EQ(symlink((up + other_folder.substr(1)).c_str(), "other"), 0);
  if ((c.how & FOREIGN_OTHER) != 0) {
    ASSERT_EQ(lchown("other", 65534, 65534), 0);
  }
  std::vector<std::string> names = {"varnok", "--in-place"};
  std::string big;
  while (big.size() < 2'000'000) big += hex(GOOD);
  for (int k = 0; k < c.files; ++k) {
    char name[32];
    const bool split = c.files > 100 || (c.how & SPLIT) != 0;
    std::snprintf(name, sizeof name, "%sf%03d", k % 2 == 1 && split ? "other/" : "", k);
    names.push_back(name);
    write_file(name, k == 1 && std::string(c.planted.call) == "read" ? big : hex(GOOD));
  }
  if ((c.how & TWICE) != 0)
    for (int k = 0; k < c.files; ++k) names.push_back(names[2 + static_cast<size_t>(k)]);
  const std::string original_second = read_file(names[3]);

  recorded.clear();
  planted = c.planted;
  planted_seen = 0;
  constexpr unsigned long FUSE = 0x65735546;
  pretended_type = on_fuse && !mounted ? FUSE : 0;
  system_calls = RECORDING_CALLS;
  std::vector<char *> argv = argument_vector(names);
  const int argc = static_cast<int>(names.size());
  int first_file = 0;
  ASSERT_EQ(scan_options(argc, argv.data(), varnok_profile, first_file), KEEP_RUNNING);
  varnok_profile.prepare_conversion();
  std::string err;
  audit_to_memory(program_streams().log, &err);
  int status = -1;
  if (killed) {
    const pid_t child = fork();
    if (child == 0) _exit(convert_in_place(first_file, argc, argv.data(), varnok_profile));
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    EXPECT_TRUE(WIFSIGNALED(wait_status) && WTERMSIG(wait_status) == SIGTERM);
    status = 0;
  } else {
    status = convert_in_place(first_file, argc, argv.data(), varnok_profile);
  }
  audit_to_memory(program_streams().log, nullptr);
  system_calls = real_calls;

  EXPECT_EQ(err, c.err);
  EXPECT_EQ(status, c.status);
  for (int k = 0; k < c.files; ++k) {
    const bool left = std::find(c.left.begin(), c.left.end(), k) != c.left.end();
    const std::string &name = names[2 + static_cast<size_t>(k)];
    // Where the file is, whatever "other" has come to name.
    const std::string path = name.rfind("other/", 0) == 0 ? other_folder + name.substr(5) : name;
    EXPECT_EQ(read_file(path) == hex(GOOD_OUT), !left) << name;
  }
  if (std::string(c.planted.call) == "read") {
    EXPECT_TRUE(read_file(names[3]) == original_second);
  }
  EXPECT_EQ(hidden_names_in(directory), std::vector<std::string>{});
  EXPECT_EQ(hidden_names_in(other_folder), std::vector<std::string>{});
  for (const recorded_call &call : recorded) {
    if (on_fuse) {
      EXPECT_NE(call.call, "sync_file_system");
    }
  }
  if (!killed) expect_durable_order(directory);

  ASSERT_EQ(chdir(previous), 0);
  if (mounted) {
    EXPECT_EQ(
        std::system(("fusermount -u '" + directory + "' || umount '" + directory + "'").c_str()),
        0);
  }
  EXPECT_EQ(
      std::system(
          ("rm -rf '" + directory + "' '" + other_folder + "' '" + fuse_source + "'").c_str()),
      0);
}

INSTANTIATE_TEST_SUITE_P(rows, in_place_calls, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<replacement_case> &info) {
                           return std::string(info.param.name);
                         });

} // namespace
