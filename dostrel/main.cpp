// SPDX-License-Identifier: MIT
#include "encode.h"
#include "expand.h"

int main(int argc, char **argv) {
  return expand_arguments(argc, argv, dostrel_profile);
}
