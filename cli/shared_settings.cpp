// SPDX-License-Identifier: MIT
#include "shared_settings.h"

bool replace_enabled = false;
int32_t replace_code = 0;

void reset_shared_settings() {
  replace_enabled = false;
  replace_code = 0;
}
