#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <string>
#include <unistd.h>
#include <vector>

int open_for_reading(const char *name) {
  int fd;
  do fd = open(name, O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

void close_file(int fd) {
  close(fd);
}

long read_bytes(int fd, unsigned char *buffer, size_t size) {
  ssize_t got;
  do got = read(fd, buffer, size);
  while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

bool write_all(int fd, const unsigned char *data, size_t size) {
  while (size > 0) {
    ssize_t done = write(fd, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

void set_binary_mode(int) {}

const char *error_description(int error) {
  return std::strerror(error);
}

bool is_lead_byte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The matches of one pattern, read and sorted by byte order at the start so that runs are
// reproducible whatever order the file system keeps.
struct directory_search {
  std::vector<std::string> names;
  size_t next = 0;
};

bool find_first_entry(const char *pattern, directory_search *&search, const char *&name) {
  // The last component is matched; '/' is never a trail byte of a double-byte character.
  const char *slash = std::strrchr(pattern, '/');
  std::string directory = slash == nullptr ? std::string(".")
                          : slash == pattern
                              ? std::string("/")
                              : std::string(pattern, static_cast<size_t>(slash - pattern));
  const char *last = slash == nullptr ? pattern : slash + 1;
  DIR *stream = opendir(directory.c_str());
  if (stream == nullptr) return false;
  auto *found = new directory_search;
  // Without FNM_PERIOD, * matches hidden names and "." and "..", as on Windows.
  while (const dirent *entry = readdir(stream))
    if (fnmatch(last, entry->d_name, FNM_NOESCAPE) == 0) found->names.emplace_back(entry->d_name);
  closedir(stream);
  if (found->names.empty()) {
    delete found;
    return false;
  }
  std::sort(found->names.begin(), found->names.end());
  search = found;
  return find_next_entry(search, name);
}

bool find_next_entry(directory_search *search, const char *&name) {
  if (search->next >= search->names.size()) return false;
  name = search->names[search->next++].c_str();
  return true;
}

void end_search(directory_search *search) {
  delete search;
}
