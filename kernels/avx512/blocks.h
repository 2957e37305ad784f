// SPDX-License-Identifier: MIT
// The AVX-512 tier's kernels, built only for x86-64 with a GNU-compatible compiler (the
// functions are compiled for AVX-512 one by one, so the program stays runnable anywhere).
#pragma once

#include "kernel_interface.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define AVX512_TIER_BUILT 1

namespace avx512 {

template <unicode_form FORM>
size_t decode_cp932(const unsigned char *from, size_t size, size_t readable, unsigned char *&to,
                    kernel_state &state, const decode_setup &setup);

template <unicode_form FORM>
size_t encode_cp932(const unsigned char *from, size_t size, size_t readable, unsigned char *&to,
                    kernel_state &state, const encode_setup &setup);

} // namespace avx512

#endif
