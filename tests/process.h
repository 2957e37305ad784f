// SPDX-License-Identifier: MIT
// Runs a built program as a child process and collects what it did, for end-to-end tests.
//
// The programs come from the environment: VARNOK and DOSTREL name them, and E2E_LAUNCHER, when
// set, is a command put in front of them (wine, for the Windows build).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum class stdin_kind { bytes, closed, endless, file }; // endless: /dev/zero; file: `input_file`
enum class stdout_kind { pipe, full_device, closed, file }; // file: appended to `output_file`

struct process_input {
  std::string bytes; // what the child reads from standard input
  stdin_kind in = stdin_kind::bytes;
  stdout_kind out = stdout_kind::pipe;
  std::string directory; // working directory of the child; empty keeps the test's
  std::string input_file, output_file;
  bool stderr_reader_gone = false; // standard error a pipe whose reader has closed it
  bool stderr_closed = false;
  unsigned timeout_seconds = 0;   // when not 0, the child is killed by SIGALRM after this
  size_t address_space_limit = 0; // when not 0, the child's RLIMIT_AS
  size_t file_size_limit = 0;     // when not 0, the child's RLIMIT_FSIZE (its signal, SIGXFSZ, at
                                  // its default action, which ends the process)
  size_t open_files_limit = 0;    // when not 0, the child's RLIMIT_NOFILE
};

struct process_result {
  std::string out; // standard output bytes
  std::string err; // standard error text, with carriage returns removed
  int status = -1; // exit status, or 128 + signal number
};

// The program named by the environment variable `variable`, or empty when it is not set.
std::string program_from_environment(const char *variable);

process_result run_process(const std::string &program, const std::vector<std::string> &args,
                           const process_input &input = {});

// The programs under test are Windows builds (E2E_WINDOWS is set).
bool windows_target();

// A message of the program: the name it was started by (as the target system spells the path),
// ": ", the text and a newline.
std::string program_message(const std::string &program, const std::string &text);

// What opening a directory as an input gives on the target system.
std::string directory_error();

// Text the program wrote to standard output before switching it to binary mode (its usage):
// on Windows the C runtime ends its lines with CR LF; this gives it with plain LF.
std::string as_text(const std::string &out);

// A fresh empty directory under the system's temporary directory.
std::string make_temporary_directory();
void write_file(const std::string &path, const std::string &bytes);
std::string read_file(const std::string &path); // empty when it cannot be read
// The names in `folder` that begin with a dot (new files of --in-place left behind).
std::vector<std::string> hidden_names_in(const std::string &folder);
