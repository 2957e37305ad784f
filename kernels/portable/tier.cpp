// SPDX-License-Identifier: MIT
#include "decode.h"
#include "encode.h"
#include "portable.h"

namespace portable {
namespace {
bool always() {
  return true;
}
} // namespace

constinit const kernel_tier TIER = {
    "portable",
    always,
    always,
    form_kernels<decode_kernel>([](auto form) { return &decode_cp932<form.value>; }),
    form_kernels<encode_kernel>([](auto form) { return &encode_cp932<form.value>; }),
    nullptr,
};

} // namespace portable
