// Gives each test the decode tables and settings of a fresh process: they are saved before and
// restored after every test, since variant letters write into them.
#pragma once

#include "cp932_decode.h"
#include "decode.h"
#include "output.h"
#include "settings.h"

#include <gtest/gtest.h>

class decode_fixture : public ::testing::Test {
protected:
  void SetUp() override {
    saved_single = cp932_single;
    saved_double = cp932_double;
  }
  void TearDown() override {
    cp932_single = saved_single;
    cp932_double = saved_double;
    replace_enabled = false;
    replace_code = 0;
    little_endian = false;
    write_bom = false;
    output_to_memory(nullptr);
  }

private:
  std::array<int16_t, 256> saved_single;
  std::array<int16_t, DOUBLE_TABLE_SIZE> saved_double;
};
