// SPDX-License-Identifier: MIT
// Gives each test the encode table and settings of a fresh process, since variant letters
// write into them.
#pragma once

#include "encode.h"
#include "in_memory.h"
#include "messages.h"
#include "output.h"

#include <gtest/gtest.h>

#include <string>

class encode_fixture : public ::testing::Test {
protected:
  void SetUp() override { reset(); } // prepared as the program prepares it
  void TearDown() override { reset(); }
  void reset() {
    reset_dostrel_state();
    output_to_memory(program_streams().out, nullptr);
  }
};

// Scans options as dostrel's command line would: "-gx", or "-p 0x3F -m".
inline void apply_dostrel_options(const std::string &options) {
  ASSERT_EQ(scan_option_words(dostrel_profile, options), KEEP_RUNNING) << options;
}
