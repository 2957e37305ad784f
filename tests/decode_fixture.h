// SPDX-License-Identifier: MIT
// Gives each test the decode tables and settings of a fresh process, since variant letters
// write into them.
#pragma once

#include "cp932_decode.h"
#include "decode.h"
#include "messages.h"
#include "output.h"

#include <gtest/gtest.h>

class decode_fixture : public ::testing::Test {
protected:
  void SetUp() override { reset_varnok_state(); } // prepared as the program prepares it
  void TearDown() override {
    reset_varnok_state();
    output_to_memory(program_streams().out, nullptr);
  }
};
