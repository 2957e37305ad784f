// SPDX-License-Identifier: MIT
// The AVX2 tier's runs of ASCII with letters that change it (varnok -u with y, o): the portable
// kernel's, with blocks of 32 bytes in one vector.
// Only tier.cpp files include this.
#pragma once

#include "blocks.h"
#include "portable/decode.h"
#include "sse2/ascii_runs.h"

namespace avx2 {
namespace {

struct wide_block {
  static constexpr unsigned WIDTH = 32;
  __m256i bytes;

  AVX2_TARGET explicit wide_block(const unsigned char *at)
      : bytes(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(at))) {}
  AVX2_TARGET void store(unsigned char *at) const {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(at), bytes);
  }
  AVX2_TARGET uint32_t beyond() const { return static_cast<uint32_t>(_mm256_movemask_epi8(bytes)); }
  AVX2_TARGET uint32_t equal_to(unsigned byte) const {
    return static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(static_cast<char>(byte)))));
  }
};

struct patched_runs {
  AVX2_TARGET static size_t copy(const unsigned char *from, const unsigned char *stop,
                                 const unsigned char *readable_end, unsigned char *&to,
                                 const ascii_patches &patches) {
    return sse2::copy_patched_runs<wide_block>(from, stop, readable_end, to, patches);
  }
};

// varnok's UTF-8 where a letter changes ASCII: the portable kernel with the runs above,
// compiled whole for this tier so that the runs are inlined, not called.
[[gnu::flatten]] AVX2_TARGET inline size_t
decode_patched_utf8(const unsigned char *from, size_t size, size_t readable, unsigned char *&to,
                    kernel_state &state, const decode_setup &setup) {
  return portable::decode_cp932<unicode_form::utf8, patched_runs>(from, size, readable, to, state,
                                                                  setup);
}

} // namespace
} // namespace avx2
