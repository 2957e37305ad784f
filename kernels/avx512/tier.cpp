// SPDX-License-Identifier: MIT
#include "avx2/avx2.h"
#include "avx512.h"
#include "portable/portable.h"

#if defined(AVX512_TIER_BUILT)
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's own AVX-512 headers trip this warning (their "undefined" registers).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "avx2/ascii_runs.h"
#include "decode.h"
#include "encode.h"
#include "queued_lookups.h"
#if !(defined(__has_builtin) && __has_builtin(__builtin_cpu_supports) &&                           \
      __has_builtin(__builtin_cpu_is))
#include <cpuid.h>
#endif
#endif

namespace avx512 {
namespace {

bool supported() {
#if !defined(AVX512_TIER_BUILT)
  return false;
#elif defined(__has_builtin) && __has_builtin(__builtin_cpu_supports)
  // The runtime checks the operating system's support for the registers too (XCR0).
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
         __builtin_cpu_supports("bmi2");
#else
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d) || (c & bit_OSXSAVE) == 0) return false;
  unsigned low, high;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  if ((low & 0xE6) != 0xE6) return false; // the operating system saves the AVX-512 registers
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return (b & bit_AVX512F) && (b & bit_AVX512BW) && (b & bit_BMI2) && (c & bit_AVX512VBMI) &&
         (c & bit_AVX512VBMI2);
#endif
}

// AMD's processors (Zen 4 and 5) microcode their gathers: there the gathering blocks lose to
// the portable kernels in three directions, and lookups queued for a scalar pass win in both
// UTF-16 directions.
bool gathers_are_slow() {
#if !defined(AVX512_TIER_BUILT)
  return false;
#elif defined(__has_builtin) && __has_builtin(__builtin_cpu_is)
  __builtin_cpu_init();
  return __builtin_cpu_is("amd");
#else
  unsigned a, b, c, d;
  return __get_cpuid(0, &a, &b, &c, &d) && b == 0x68747541; // "Auth(enticAMD)"
#endif
}

[[maybe_unused]] bool gathers_are_fast() { // unused where the tier is not built
  return !gathers_are_slow();
}

} // namespace

#if defined(AVX512_TIER_BUILT)
const kernel_tier TIER = {
    "avx512",
    supported,
    gathers_are_fast,
    form_kernels<decode_kernel>([](auto form) { return &decode_cp932<form.value>; }),
    form_kernels<encode_kernel>([](auto form) { return &encode_cp932<form.value>; }),
    nullptr,
};
// UTF-8 has no queued design here: it runs the AVX2 tier's kernels (varnok -u the portable
// kernel with that tier's patched ASCII runs; dostrel -u measured faster on these processors,
// two-byte text 0.6 times the portable one).
const kernel_tier AMD_TIER = {
    "avx512_amd",
    supported,
    gathers_are_slow,
    form_kernels<decode_kernel>([](auto form) {
      if constexpr (form.value == unicode_form::utf8)
        return portable::TIER.decode[unicode_form::utf8];
      else
        return &decode_cp932_queued<form.value>;
    }),
    form_kernels<encode_kernel>([](auto form) {
      if constexpr (form.value == unicode_form::utf8)
        return &avx2::encode_utf8;
      else
        return &encode_cp932_queued<form.value>;
    }),
    &avx2::decode_patched_utf8,
};
#else // never supported: the portable kernels stand in
const kernel_tier TIER = {
    "avx512", supported, supported, portable::TIER.decode, portable::TIER.encode, nullptr};
const kernel_tier AMD_TIER = {"avx512_amd",          supported, supported, portable::TIER.decode,
                              portable::TIER.encode, nullptr};
#endif

} // namespace avx512
