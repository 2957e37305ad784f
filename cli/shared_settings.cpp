// SPDX-License-Identifier: MIT
#include "shared_settings.h"

bool replace_enabled = false;
int32_t replace_code = 0;
const char *replace_text = nullptr;
bool in_place = false;
bool audit_enabled = false;

void reset_shared_settings() {
  replace_enabled = false;
  replace_code = 0;
  replace_text = nullptr;
  in_place = false;
  audit_enabled = false;
}
