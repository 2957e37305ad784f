// SPDX-License-Identifier: MIT
// Which of a tier's kernels and the portable kernel converts the text at hand, chosen by timing
// both on it. A tier's blocks win on most text, but the portable kernel's branches predict text
// that repeats one pattern perfectly, and on some such shapes, or on processors other than the
// one a path was tuned on, the tier loses; only the processor that runs the text can tell. So
// the two paths take turns in samples over a trial, and the faster one then converts a long
// stretch before the next trial. Outputs are the same either way: only the time differs.
#pragma once

#include "ticks.h"

#include <cstddef>
#include <cstdint>

// Input bytes of a sample; samples of a trial (the paths in turn: tier, portable, portable,
// tier, ..., so that a drift in speed along the text, or the first sample's cold caches, falls
// on both alike); the stretch the faster path then converts, which doubles while trials choose
// the same path. With each path's slowest sample left out, an interrupt that lands in a sample
// does not decide a trial.
constexpr size_t CHOICE_SAMPLE = 8 * 1024;
constexpr unsigned CHOICE_SAMPLES = 8;
constexpr uint32_t CHOICE_PORTABLE_SAMPLES = 0x66; // bit k: sample k is the portable kernel's
constexpr size_t CHOICE_FIRST_STRETCH = size_t{2} << 20, CHOICE_LONGEST_STRETCH = size_t{64} << 20;
// The text's first bytes go to the tier before the first trial, uncounted: they warm the caches
// both paths use (the tables, the output's pages), which would make the first samples slow.
constexpr size_t CHOICE_WARM_UP = 64 * 1024;

struct path_choice {
  // Of the tier (0) and of the portable kernel (1) in this trial: ticks and bytes of their
  // samples, and the ticks of the slowest one.
  uint64_t ticks[2] = {}, bytes[2] = {}, slowest[2] = {};
  uint64_t sample_ticks = 0;        // of the sample so far
  uint64_t mark = 0;                // ticks at the sample's start, or when the converter came back
  size_t left = CHOICE_WARM_UP;     // input bytes to the end of the sample or stretch
  size_t stretch = 0;               // the last stretch, 0 before the first trial's end
  unsigned sample = CHOICE_SAMPLES; // of the trial; CHOICE_SAMPLES during a stretch
  bool portable = false;            // the path that converts now (the tier first)
  bool portable_chosen = false;     // by the last trial
};

// True when the portable kernel was faster per byte over the trial, each path's slowest sample
// left out (the tier when they tie).
inline bool portable_was_faster(const path_choice &c) {
  const uint64_t tier_ticks = c.ticks[0] - c.slowest[0], tier_bytes = c.bytes[0] - CHOICE_SAMPLE;
  const uint64_t portable_ticks = c.ticks[1] - c.slowest[1],
                 portable_bytes = c.bytes[1] - CHOICE_SAMPLE;
  return portable_ticks * tier_bytes < tier_ticks * portable_bytes;
}

// Ends the sample or the stretch that has just run `over` bytes past its end, at time `now`:
// the next sample, the faster path's stretch after the trial's last sample, or a new trial
// after the stretch.
inline void next_choice_step(path_choice &choice, size_t over, uint64_t now) {
  if (choice.sample < CHOICE_SAMPLES) {
    const unsigned path = choice.portable;
    const uint64_t ticks = choice.sample_ticks + (now - choice.mark);
    choice.ticks[path] += ticks;
    choice.bytes[path] += CHOICE_SAMPLE + over;
    choice.slowest[path] = ticks > choice.slowest[path] ? ticks : choice.slowest[path];
    choice.sample_ticks = 0;
    if (++choice.sample == CHOICE_SAMPLES) {
      const bool portable = portable_was_faster(choice);
      const bool same = choice.stretch != 0 && portable == choice.portable_chosen;
      choice.stretch = same && choice.stretch < CHOICE_LONGEST_STRETCH ? 2 * choice.stretch
                       : same                                          ? choice.stretch
                                                                       : CHOICE_FIRST_STRETCH;
      choice.portable_chosen = portable;
    }
  } else { // a new trial
    const path_choice last = choice;
    choice = path_choice{};
    choice.sample = 0;
    choice.stretch = last.stretch, choice.portable_chosen = last.portable_chosen;
  }
  choice.mark = now;
  if (choice.sample < CHOICE_SAMPLES) {
    choice.portable = (CHOICE_PORTABLE_SAMPLES >> choice.sample & 1) != 0;
    choice.left = CHOICE_SAMPLE;
  } else {
    choice.portable = choice.portable_chosen;
    choice.left = choice.stretch;
  }
}

// Counts `used` bytes converted; past the end of a sample or stretch, takes the next step and
// sets the portable stretch (`portable_left`, as run_kernel keeps it) for the path it chose.
inline void count_choice_bytes(path_choice &choice, size_t used, size_t &portable_left) {
  if (used < choice.left) {
    choice.left -= used;
    return;
  }
  next_choice_step(choice, used - choice.left, ticks_now());
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
