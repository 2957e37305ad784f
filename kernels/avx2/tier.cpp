// SPDX-License-Identifier: MIT
#include "avx2.h"
#include "portable/portable.h"

#if defined(AVX2_TIER_BUILT)
#include "ascii_runs.h"
#include "decode.h"
#include "encode.h"
#include "utf8_blocks.h"
#endif

namespace avx2 {
namespace {

bool supported() {
#if defined(AVX2_TIER_BUILT)
  // The runtime checks the operating system's support for the registers too (XCR0).
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("popcnt");
#else
  return false;
#endif
}

[[maybe_unused]] bool always() { // unused where the tier is not built
  return true;
}

} // namespace

#if defined(AVX2_TIER_BUILT)
// dostrel's UTF-8: the blocks of utf8_blocks.h in the tier's frame.
size_t encode_utf8(const unsigned char *from, size_t size, size_t readable, unsigned char *&to,
                   kernel_state &state, const encode_setup &setup) {
  return tier_frame::run_tier(from, size, readable, to, state, setup, utf8_blocks::READABLE,
                              utf8_blocks{setup.stops, setup.steps, state},
                              portable::TIER.encode[unicode_form::utf8]);
}

const kernel_tier TIER = {
    "avx2",
    supported,
    always,
    form_kernels<decode_kernel>([](auto form) {
      if constexpr (form.value == unicode_form::utf8)
        return portable::TIER.decode[unicode_form::utf8];
      else
        return &decode_cp932<form.value>;
    }),
    form_kernels<encode_kernel>([](auto form) {
      if constexpr (form.value == unicode_form::utf8)
        return &encode_utf8;
      else
        return &encode_cp932<form.value>;
    }),
    &decode_patched_utf8,
};
#else // never supported: the portable kernels stand in
const kernel_tier TIER = {
    "avx2", supported, supported, portable::TIER.decode, portable::TIER.encode, nullptr};
#endif

} // namespace avx2
