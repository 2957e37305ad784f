// SPDX-License-Identifier: MIT
// The AVX2 tier's runs of ASCII with letters that change it (varnok -u with y, o): the portable
// kernel's, with blocks of 32 bytes in one vector.
// Only tier.cpp files include this.
#pragma once

#include "blocks.h"
#include "portable/decode.h"
#include "portable/portable.h"
#include "sse2/ascii_runs.h"

namespace avx2 {
namespace {

struct wide_block {
  static constexpr unsigned WIDTH = 32;
  // A run with no patched byte takes the two slots too: with one store each they cost less
  // than a branch on whether the run holds one (real text 0.96 of the time).
  static constexpr bool RETURNS_UNPATCHED = false;
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

// With one letter, each patched byte becomes its character's last byte with the others put
// before it: GROWS of them (1 for the yen sign, 2 for the overline). The bytes of a block then
// spread by shuffles, a group of bytes at a time, with no branch on where or how many the
// patched ones are. A group is 8 / GROWS bytes (its output fits 16), at one of the PLACES in its
// half of the block; the bytes put before come from lanes of the half that the group does not
// use (the last ones for a group in the first 8 lanes, else the first ones), where the source
// vector holds them in place of the block's bytes. For each place and each mask of the group's
// patched bytes: the shuffle that spreads them.
template <unsigned GROWS> struct spreading_shuffles {
  static constexpr unsigned GROUP = 8 / GROWS, PLACES = 16 / GROUP;
  alignas(16) unsigned char index[PLACES][1 << GROUP][16];
};
template <unsigned GROWS> constexpr spreading_shuffles<GROWS> make_spreading_shuffles() {
  spreading_shuffles<GROWS> s{};
  for (unsigned place = 0; place < s.PLACES; ++place) {
    const unsigned first = place * s.GROUP;
    const unsigned put_lane = first < 8 ? 16 - GROWS : 0; // the first byte put before
    for (unsigned mask = 0; mask < (1u << s.GROUP); ++mask) {
      unsigned char *index = s.index[place][mask];
      unsigned at = 0;
      for (unsigned k = 0; k < s.GROUP; ++k) {
        if (mask >> k & 1)
          for (unsigned put = 0; put < GROWS; ++put)
            index[at++] = static_cast<unsigned char>(put_lane + put);
        index[at++] = static_cast<unsigned char>(first + k);
      }
      while (at < 16) index[at++] = 0x80;
    }
  }
  return s;
}
template <unsigned GROWS>
inline constexpr spreading_shuffles<GROWS> SPREADING = make_spreading_shuffles<GROWS>();

// A block with more than two patched bytes, for copy_patched_blocks: spread by the shuffles
// above (GROWS: the bytes its letter's character puts before the patched byte's last one).
template <unsigned GROWS> struct patched_spread {
  // Writes the block's 32 bytes at `out`, each patched byte (a bit of `patched`) with the bytes
  // put before it, up to 16 bytes past them; returns how many were put before.
  AVX2_TARGET unsigned operator()(const wide_block &block, const unsigned char *,
                                  const unsigned char *, uint32_t patched, unsigned char *out,
                                  const ascii_patches &patches) const {
    using shuffles = spreading_shuffles<GROWS>;
    const uint32_t character = patches.utf8[0];
    const __m256i hit =
        _mm256_cmpeq_epi8(block.bytes, _mm256_set1_epi8(static_cast<char>(patches.byte[0])));
    const __m256i lasts = _mm256_blendv_epi8(
        block.bytes, _mm256_set1_epi8(static_cast<char>(character >> 8 * GROWS)), hit);
    // The sources: the bytes put before in the last lanes of each half, and in the first; the
    // first byte put before in even lanes, the second in odd ones.
    const uint32_t put = character & ((1u << 8 * GROWS) - 1);
    const __m256i before = GROWS == 1 ? _mm256_set1_epi8(static_cast<char>(put))
                                      : _mm256_set1_epi16(static_cast<short>(put));
    const __m256i in_last = _mm256_broadcastsi128_si256(
        _mm_slli_si128(_mm_set1_epi8(static_cast<char>(0xFF)), 16 - GROWS));
    const __m256i in_first = _mm256_broadcastsi128_si256(
        _mm_srli_si128(_mm_set1_epi8(static_cast<char>(0xFF)), 16 - GROWS));
    const __m256i sources[2] = {_mm256_blendv_epi8(lasts, before, in_last),
                                _mm256_blendv_epi8(lasts, before, in_first)};
    for (unsigned start = 0; start < 32; start += shuffles::GROUP) {
      const unsigned place = start % 16 / shuffles::GROUP;
      const __m256i &source = sources[start % 16 < 8 ? 0 : 1];
      const __m128i half =
          start < 16 ? _mm256_castsi256_si128(source) : _mm256_extracti128_si256(source, 1);
      const unsigned mask = patched >> start & ((1u << shuffles::GROUP) - 1);
      const __m128i index =
          _mm_load_si128(reinterpret_cast<const __m128i *>(SPREADING<GROWS>.index[place][mask]));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_shuffle_epi8(half, index));
      out += shuffles::GROUP + GROWS * static_cast<unsigned>(__builtin_popcount(mask));
    }
    return GROWS * static_cast<unsigned>(__builtin_popcount(patched));
  }
};

// The portable kernel's runs with 32-byte vectors; with one letter, blocks of more than two
// patched bytes spread by shuffles.
struct patched_runs {
  ascii_patches patches; // a copy, which the output's byte stores cannot alias

  explicit patched_runs(const ascii_patches &letters) : patches(letters) {}

  AVX2_TARGET size_t copy(const unsigned char *from, const unsigned char *stop,
                          const unsigned char *readable_end, unsigned char *&to) const {
    if (patches.count == 1) {
      const unsigned length = patches.utf8[0] >> 24;
      if (length == 2)
        return sse2::copy_patched_blocks<wide_block, true>(from, stop, readable_end, to, patches,
                                                           patched_spread<1>{});
      if (length == 3)
        return sse2::copy_patched_blocks<wide_block, true>(from, stop, readable_end, to, patches,
                                                           patched_spread<2>{});
    }
    return sse2::copy_patched_runs<wide_block>(from, stop, readable_end, to, patches);
  }
};

// varnok's UTF-8 where a letter changes ASCII: the portable kernel with the runs above,
// compiled whole for this tier so that the runs are inlined, not called.
[[gnu::flatten]] AVX2_TARGET inline size_t
decode_patched_runs(const unsigned char *from, size_t size, size_t readable, unsigned char *&to,
                    kernel_state &state, const decode_setup &setup) {
  return portable::decode_cp932<unicode_form::utf8, avx2::patched_runs>(from, size, readable, to,
                                                                        state, setup);
}

// The same in the tier's frame, whose blocks are the runs above: a character for the rules
// counts as a refused block, so that text full of them (where each ends a call) goes on with
// the portable kernel itself, which costs less a call than the tier's registers (1.17 of it
// where every other byte was invalid).
inline size_t decode_patched_utf8(const unsigned char *from, size_t size, size_t readable,
                                  unsigned char *&to, kernel_state &state,
                                  const decode_setup &setup) {
  auto runs = [&](const unsigned char *at, size_t left, unsigned char *&out, bool &refused) {
    const size_t used = decode_patched_runs(at, left, readable - (at - from), out, state, setup);
    refused = used < left;
    return used;
  };
  return tier_frame::run_tier(from, size, readable, to, state, setup, 1, runs,
                              portable::TIER.decode[unicode_form::utf8]);
}

} // namespace
} // namespace avx2
