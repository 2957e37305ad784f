// SPDX-License-Identifier: MIT
// varnok_portable and dostrel_portable: the programs pinned to their portable kernels, so that
// the benchmark can time that path on any processor (the programs themselves always take the
// best kernels there are). PROFILE names the program's profile, PROFILE_HEADER its header.
#include "cpu.h"
#include "expand.h"
#include PROFILE_HEADER

int main(int argc, char **argv) {
  active_kernel_level = kernel_level::portable;
  return expand_arguments(argc, argv, PROFILE);
}
