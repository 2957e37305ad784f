#include "driver.h"
#include "encode.h"

int main(int argc, char **argv) {
  return run(argc, argv, dostrel_profile);
}
