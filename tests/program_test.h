// SPDX-License-Identifier: MIT
// The base of the end-to-end tests: the program under test and a scratch directory to run it in.
#pragma once

#include "process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

class program_test : public ::testing::Test {
protected:
  // Takes the program named by the environment variable (the test is skipped when it is not
  // set) and makes a fresh scratch directory.
  void start(const char *variable) {
    program = program_from_environment(variable);
    if (program.empty()) GTEST_SKIP() << variable << " names no program";
    directory = make_temporary_directory();
  }
  void TearDown() override {
    if (directory.empty()) return;
    EXPECT_EQ(std::system(("rm -rf '" + directory + "'").c_str()), 0);
  }
  void make_file(const std::string &name, const std::string &bytes) {
    write_file(directory + "/" + name, bytes);
  }
  void make_directory(const std::string &name) { mkdir((directory + "/" + name).c_str(), 0755); }
  // Runs the program in the scratch directory (or a folder of it) with `input` on its standard
  // input.
  process_result run(const std::vector<std::string> &args, const std::string &input = "",
                     const std::string &folder = "") {
    process_input how;
    how.bytes = input;
    return run(args, how, folder);
  }
  process_result run(const std::vector<std::string> &args, process_input how,
                     const std::string &folder = "") {
    how.directory = folder.empty() ? directory : directory + "/" + folder;
    return run_process(program, args, how);
  }
  // A message of the program: its name as it was started, ": ", the text and a newline.
  std::string message(const std::string &text) { return program_message(program, text); }

  std::string program, directory;
};
