// SPDX-License-Identifier: MIT
#include "decode.h"
#include "expand.h"

int main(int argc, char **argv) {
  return expand_arguments(argc, argv, varnok_profile);
}
