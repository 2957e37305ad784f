#include "settings.h"

bool replace_enabled = false;
int32_t replace_code = 0;
