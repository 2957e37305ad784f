// SPDX-License-Identifier: MIT
// The AVX-512 kernels (BW, VBMI2, BMI2), for x86-64 only; call them only when
// best_kernel_level() says the processor has them. Each converts whole blocks while every
// character in them is one the kernel handles, and stops at the first block that holds
// anything else (invalid bytes, unmapped codes, surrogates...), which the caller then
// converts by the scalar rules. They give exactly what the scalar rules give.
//
// Both take the ASCII range as decoding and encoding to itself (the caller checks no letter
// changed it, and that markup is not escaped), and compute these ranges by arithmetic instead
// of a table lookup, which no variant letter touches:
//   0xA1-0xDF       U+FF61-U+FF9F (halfwidth katakana)
//   0x829F-0x82F1   U+3041-U+3093 (hiragana)
//   0x8340-0x837E   U+30A1-U+30DF and 0x8380-0x8396 U+30E0-U+30F6 (katakana)
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#define HAVE_AVX512_KERNELS 1

namespace avx512 {

// Decodes CP932 at `from` (`size` bytes readable) to UTF-16 at `to` in blocks of 64 bytes (63
// when the 64th is a lead byte, so that no character is cut); the double-byte characters
// other than kana are looked up in `double_table` (the cp932_double layout: code - 0x8140).
// Returns the bytes consumed and sets `written` to the output bytes. Reads at most 65 bytes
// past a block's start and writes at most 64 bytes past `to + written`.
size_t decode_cp932(const unsigned char *from, size_t size, const int16_t *double_table,
                    unsigned char *to, size_t &written, bool little);

// Encodes UTF-16 at `from` (`size` bytes) to CP932 at `to` in blocks of 32 units; characters
// other than ASCII and kana are looked up in `table` (unicode_to_cp932). Returns the bytes
// consumed (a multiple of 64) and sets `written`. Writes at most 64 bytes past it.
size_t encode_cp932(const unsigned char *from, size_t size, const uint16_t *table,
                    unsigned char *to, size_t &written, bool little);

} // namespace avx512

#endif
