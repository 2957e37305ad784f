// SPDX-License-Identifier: MIT
// Which of a tier's kernels and the portable kernel converts the text at hand, chosen by timing
// both on it. A tier's blocks win on most text, but the portable kernel's branches predict text
// that repeats one pattern perfectly, and on some such shapes, or on processors other than the
// one a path was tuned on, the tier loses; only the processor that runs the text can tell. So
// the two paths take turns in samples over a trial, and the faster one then converts a long
// stretch before the next trial. Outputs are the same either way: only the time differs.
#pragma once

#include "ticks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

// Input bytes of a sample; samples of a trial (the paths in turn: tier, portable, portable,
// tier, ..., so that each pair of samples, 0-1, 2-3 and so on, holds one of each on
// neighbouring text, and the first of a pair is as often the one as the other); the stretch
// the faster path then converts, which doubles while trials choose the same path.
constexpr size_t CHOICE_SAMPLE = 4 * 1024;
constexpr unsigned CHOICE_SAMPLES = 32;
constexpr uint32_t CHOICE_PORTABLE_SAMPLES = 0x66666666; // bit k: sample k is the portable's
constexpr size_t CHOICE_FIRST_STRETCH = size_t{2} << 20, CHOICE_LONGEST_STRETCH = size_t{64} << 20;
// The text's first bytes go to the tier before the first trial, uncounted: they warm the caches
// both paths use (the tables, the output's pages), which would make the first samples slow.
constexpr size_t CHOICE_WARM_UP = 64 * 1024;

struct path_choice {
  uint64_t samples[CHOICE_SAMPLES] = {}; // the ticks of each sample of this trial
  uint64_t sample_ticks = 0;             // of the sample so far
  uint64_t mark = 0;                // ticks at the sample's start, or when the converter came back
  size_t left = CHOICE_WARM_UP;     // input bytes to the end of the sample or stretch
  size_t stretch = 0;               // the last stretch, 0 before the first trial's end
  unsigned sample = CHOICE_SAMPLES; // of the trial; CHOICE_SAMPLES during a stretch
  bool portable = false;            // the path that converts now (the tier first)
  bool portable_chosen = false;     // by the last trials
  bool doubted = false;             // the last trial preferred the other path
};

// True when the portable kernel took less than 32/33 of the tier's time in the median pair of
// samples: Japanese text changes between nearly pure ASCII and dense kanji within a few
// kilobytes, which only the pairs see alike, and a pair that an interrupt lands in, or where a
// path brings its tables back into the cache after the other's run, does not decide a trial.
inline bool portable_was_faster(const path_choice &choice) {
  constexpr unsigned PAIRS = CHOICE_SAMPLES / 2;
  uint64_t ratios[PAIRS]; // the portable kernel's ticks over the tier's, in 1/1024
  for (unsigned pair = 0; pair < PAIRS; ++pair) {
    const bool portable_first = (CHOICE_PORTABLE_SAMPLES >> 2 * pair & 1) != 0;
    const uint64_t portable = choice.samples[2 * pair + (portable_first ? 0 : 1)];
    const uint64_t tier = choice.samples[2 * pair + (portable_first ? 1 : 0)];
    ratios[pair] = tier == 0 ? UINT32_MAX : portable * 1024 / tier;
  }
  std::sort(ratios, ratios + PAIRS);
  return (ratios[PAIRS / 2 - 1] + ratios[PAIRS / 2]) * 33 < 2 * 1024 * 32;
}

// Ends the sample or the stretch that has just ended at time `now` (samples are all but
// equally long: a kernel goes past the end only to finish a character): the next sample, the
// faster path's stretch after the trial's last sample, or a new trial after the stretch. The
// portable kernel must be faster by 3% to be chosen: the tier is the processor's best path on
// most text, and samples of the same path differ by a few percent. A trial that prefers the
// other path is only a doubt, tried again at once: the path changes when two trials in a row
// prefer the other one (on Japanese prose one trial in six did, where the tier was 7% faster).
inline void next_choice_step(path_choice &choice, uint64_t now) {
  if (choice.sample < CHOICE_SAMPLES) {
    choice.samples[choice.sample] = choice.sample_ticks + (now - choice.mark);
    choice.sample_ticks = 0;
    if (++choice.sample == CHOICE_SAMPLES) {
      const bool portable = portable_was_faster(choice);
      if (portable != choice.portable_chosen && !choice.doubted) {
        choice.doubted = true;
      } else {
        // The same path again doubles the stretch (after a doubt, keeps it); a change starts
        // over.
        const bool same = portable == choice.portable_chosen && choice.stretch != 0;
        choice.stretch = !same ? CHOICE_FIRST_STRETCH
                         : choice.doubted || choice.stretch == CHOICE_LONGEST_STRETCH
                             ? choice.stretch
                             : 2 * choice.stretch;
        choice.portable_chosen = portable;
        choice.doubted = false;
      }
    }
  } else { // a new trial (its samples overwrite the last one's)
    choice.sample = 0;
  }
  choice.mark = now;
  if (choice.sample < CHOICE_SAMPLES) {
    choice.portable = (CHOICE_PORTABLE_SAMPLES >> choice.sample & 1) != 0;
    choice.left = CHOICE_SAMPLE;
  } else {
    choice.portable = choice.portable_chosen;
    choice.left = choice.doubted ? 0 : choice.stretch;
  }
}

// Counts `used` bytes converted; past the end of a sample or stretch, takes the next step and
// sets the portable stretch (`portable_left`, as run_kernel keeps it) for the path it chose.
inline void count_choice_bytes(path_choice &choice, size_t used, size_t &portable_left) {
  if (used < choice.left) {
    choice.left -= used;
    return;
  }
  next_choice_step(choice, ticks_now());
  portable_left = choice.portable ? SIZE_MAX : 0;
}

// The converter leaves the text (between its ranges the stream reads and writes, which no path
// should be charged for) and comes back.
inline void pause_choice(path_choice &choice) {
  if (choice.sample < CHOICE_SAMPLES) choice.sample_ticks += ticks_now() - choice.mark;
}
inline void resume_choice(path_choice &choice) {
  choice.mark = ticks_now();
}
