// Gives each test the encode table and settings of a fresh process: they are saved before and
// restored after every test, since variant letters write into them.
#pragma once

#include "encode.h"
#include "in_memory.h"
#include "output.h"

#include <gtest/gtest.h>

#include <string>

class encode_fixture : public ::testing::Test {
protected:
  void SetUp() override { saved_table = unicode_to_cp932; }
  void TearDown() override {
    unicode_to_cp932 = saved_table;
    replace_enabled = false;
    replace_code = 0;
    input_little_endian = false;
    reference_mode = 0;
    escape_markup = false;
    output_to_memory(nullptr);
  }
  void reset() {
    TearDown();
    SetUp();
  }

private:
  std::array<uint16_t, 0x10000> saved_table;
};

// Scans options as dostrel's command line would: "-gx", or "-p 0x3F -m".
inline void apply_dostrel_options(const std::string &options) {
  ASSERT_EQ(scan_option_words(dostrel_profile, options), KEEP_RUNNING) << options;
}
