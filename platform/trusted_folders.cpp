// SPDX-License-Identifier: MIT
#include "trusted_folders.h"

#include "file_calls.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace {

// A descriptor that only names a folder: enough to search it and to open names in it.
#if defined(O_PATH)
constexpr int NAMING = O_PATH;
#else
constexpr int NAMING = O_RDONLY;
#endif

constexpr int MOST_LINKS = 40; // as the kernel allows in one path

bool trusted_owner(uid_t owner) {
  return owner == 0 || owner == geteuid();
}

void close_keeping_errno(int fd) {
  const int error = errno;
  system_calls.close(fd);
  errno = error;
}

// The target of the symbolic link `name` in `folder`, read from the link itself so that the
// owner checked and the target read are those of one link; empty with errno set when it cannot
// be followed.
std::string trusted_link_target(int folder, const char *name, bool &foreign_link) {
  const int link = system_calls.open_at(folder, name, NAMING | O_NOFOLLOW | O_CLOEXEC, 0);
  if (link < 0) return {};
  struct stat status;
  std::string target;
  if (fstat(link, &status) != 0) {
  } else if (!S_ISLNK(status.st_mode)) {
    errno = ENOTDIR;
  } else if (!trusted_owner(status.st_uid)) {
    foreign_link = true;
    errno = EPERM;
  } else {
    char buffer[PATH_MAX];
#if defined(O_PATH)
    const ssize_t length = readlinkat(link, "", buffer, sizeof buffer);
#else
    const ssize_t length = readlinkat(folder, name, buffer, sizeof buffer);
#endif
    if (length == 0) errno = ENOENT;
    if (length > 0 && static_cast<size_t>(length) < sizeof buffer)
      target.assign(buffer, static_cast<size_t>(length));
    else if (length > 0)
      errno = ENAMETOOLONG;
  }
  close_keeping_errno(link);
  return target;
}

} // namespace

int open_folder_by_trusted_links(const char *path, size_t length, bool &foreign_link) {
  foreign_link = false;
  std::string rest(path, length); // the components still to walk
  size_t at = 0;
  int folder = system_calls.open_at(AT_FDCWD, !rest.empty() && rest[0] == '/' ? "/" : ".",
                                    NAMING | O_DIRECTORY | O_CLOEXEC, 0);
  int links = 0;
  bool walked = false;
  while (folder >= 0) {
    at = rest.find_first_not_of('/', at);
    if (at == std::string::npos) {
      walked = true;
      break;
    }
    const size_t end = std::min(rest.find('/', at), rest.size());
    const std::string component = rest.substr(at, end - at);
    at = end;
    if (component == ".") continue;
    const int next = system_calls.open_at(folder, component.c_str(),
                                          NAMING | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (next >= 0) {
      system_calls.close(folder);
      folder = next;
      continue;
    }
    if (errno != ENOTDIR && errno != ELOOP) break;
    const std::string target = trusted_link_target(folder, component.c_str(), foreign_link);
    if (target.empty()) break;
    if (++links > MOST_LINKS) {
      errno = ELOOP;
      break;
    }
    rest = target + "/" + rest.substr(at);
    at = 0;
    if (target[0] == '/') {
      system_calls.close(folder);
      folder = system_calls.open_at(AT_FDCWD, "/", NAMING | O_DIRECTORY | O_CLOEXEC, 0);
    }
  }
  if (folder >= 0 && !walked) {
    close_keeping_errno(folder);
    return -1;
  }
  return folder;
}

namespace {
// Every folder of a run, which can be many: looked up by its spelling.
std::unordered_map<std::string, std::pair<dev_t, ino_t>> first_seen;
} // namespace

void forget_first_seen_folders() {
  first_seen.clear();
}

bool same_folder_as_first_seen(const char *path, size_t length, dev_t device, ino_t inode) {
  const auto [place, added] = first_seen.try_emplace(std::string(path, length), device, inode);
  return added || (place->second.first == device && place->second.second == inode);
}
