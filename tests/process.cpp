// SPDX-License-Identifier: MIT
#include "process.h"

#include "argument_vector.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<std::string> launcher_words() {
  std::vector<std::string> words;
  const char *launcher = std::getenv("E2E_LAUNCHER");
  if (launcher == nullptr) return words;
  std::istringstream stream(launcher);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

void check(bool ok, const char *what) {
  if (!ok) throw std::runtime_error(std::string(what) + " failed");
}

[[noreturn]] void start_child(const std::vector<std::string> &words, const process_input &input,
                              int in_read, int out_write, int err_write) {
  if (input.in == stdin_kind::closed)
    close(0);
  else if (input.in == stdin_kind::endless)
    dup2(open("/dev/zero", O_RDONLY), 0);
  else if (input.in == stdin_kind::file)
    dup2(open(input.input_file.c_str(), O_RDONLY), 0);
  else
    dup2(in_read, 0);
  if (input.out == stdout_kind::closed) {
    close(1);
  } else if (input.out == stdout_kind::full_device) {
    dup2(open("/dev/full", O_WRONLY), 1);
  } else if (input.out == stdout_kind::file) {
    dup2(open(input.output_file.c_str(), O_WRONLY | O_APPEND), 1);
  } else {
    dup2(out_write, 1);
  }
  int gone[2];
  if (input.stderr_reader_gone && pipe(gone) == 0) {
    close(gone[0]);
    err_write = gone[1];
  }
  dup2(err_write, 2);
  if (input.stderr_closed) close(2);
  if (!input.directory.empty() && chdir(input.directory.c_str()) != 0) _exit(125);
  std::vector<std::string> copy = words;
  std::vector<char *> argv = argument_vector(copy);
  signal(SIGPIPE, SIG_DFL);
  if (input.open_files_limit != 0) {
    const rlimit limit = {input.open_files_limit, input.open_files_limit};
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (input.file_size_limit != 0) {
    const rlimit limit = {input.file_size_limit, input.file_size_limit};
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, SIG_DFL);
  }
  if (input.address_space_limit != 0) {
    const rlimit limit = {input.address_space_limit, input.address_space_limit};
    setrlimit(RLIMIT_AS, &limit);
  }
  if (input.timeout_seconds != 0) alarm(input.timeout_seconds);
  execvp(argv[0], argv.data());
  _exit(126);
}

} // namespace

std::string program_from_environment(const char *variable) {
  const char *value = std::getenv(variable);
  return value == nullptr ? std::string() : std::string(value);
}

process_result run_process(const std::string &program, const std::vector<std::string> &args,
                           const process_input &input) {
  std::vector<std::string> words = launcher_words();
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());

  int in_pipe[2], out_pipe[2], err_pipe[2];
  check(pipe2(in_pipe, O_CLOEXEC) == 0 && pipe2(out_pipe, O_CLOEXEC) == 0 &&
            pipe2(err_pipe, O_CLOEXEC) == 0,
        "pipe");
  signal(SIGPIPE, SIG_IGN);
  pid_t child = fork();
  check(child >= 0, "fork");
  if (child == 0) start_child(words, input, in_pipe[0], out_pipe[1], err_pipe[1]);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);

  process_result result;
  size_t written = 0;
  int in_fd = in_pipe[1];
  fcntl(in_fd, F_SETFL, O_NONBLOCK); // never block on a full pipe while the child waits on us
  if (input.bytes.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  int out_fd = out_pipe[0], err_fd = err_pipe[0];
  while (out_fd >= 0 || err_fd >= 0) {
    pollfd fds[3] = {{in_fd, POLLOUT, 0}, {out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      check(false, "poll");
    }
    if (in_fd >= 0 && fds[0].revents != 0) {
      ssize_t done = write(in_fd, input.bytes.data() + written, input.bytes.size() - written);
      if (done > 0) written += static_cast<size_t>(done);
      if ((done < 0 && errno != EAGAIN && errno != EINTR) || written == input.bytes.size()) {
        close(in_fd);
        in_fd = -1;
      }
    }
    int *fd_of[2] = {&out_fd, &err_fd};
    std::string *sink_of[2] = {&result.out, &result.err};
    for (int k = 0; k < 2; ++k) {
      if (*fd_of[k] < 0 || fds[k + 1].revents == 0) continue;
      char chunk[65536];
      ssize_t got = read(*fd_of[k], chunk, sizeof chunk);
      if (got > 0) {
        sink_of[k]->append(chunk, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(*fd_of[k]);
        *fd_of[k] = -1;
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
  int wait_status = 0;
  while (waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  std::string err;
  for (char c : result.err)
    if (c != '\r') err += c;
  result.err = err;
  return result;
}

bool windows_target() {
  return std::getenv("E2E_WINDOWS") != nullptr;
}

std::string program_message(const std::string &program, const std::string &text) {
  std::string name = program;
  if (windows_target()) { // wine shows a POSIX path as a path of drive Z:
    for (char &c : name)
      if (c == '/') c = '\\';
    name = "Z:" + name;
  }
  return name + ": " + text + "\n";
}

std::string directory_error() {
  return windows_target() ? "Permission denied" : "Is a directory";
}

std::string as_text(const std::string &out) {
  std::string text;
  for (char c : out)
    if (c != '\r' || !windows_target()) text += c;
  return text;
}

std::string make_temporary_directory() {
  const char *base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/e2e.XXXXXX";
  check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  return pattern;
}

std::string read_file(const std::string &path) {
  std::string bytes;
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return bytes;
  char chunk[65536];
  for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;)
    bytes.append(chunk, static_cast<size_t>(got));
  close(fd);
  return bytes;
}

void write_file(const std::string &path, const std::string &bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  check(fd >= 0, "open");
  check(write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "write");
  close(fd);
}

std::vector<std::string> hidden_names_in(const std::string &folder) {
  std::vector<std::string> names;
  DIR *listing = opendir(folder.c_str());
  while (const dirent *entry = listing == nullptr ? nullptr : readdir(listing))
    if (entry->d_name[0] == '.' && std::string(entry->d_name) != "." &&
        std::string(entry->d_name) != "..")
      names.push_back(entry->d_name);
  if (listing != nullptr) closedir(listing);
  return names;
}
