// SPDX-License-Identifier: MIT
// Windows errors as error numbers. Those with a C equivalent become it (so that a full disk is
// ENOSPC everywhere); any other is carried whole above WINDOWS_ERROR_BASE, so that it is the
// file's own problem and error_description prints Windows' own text for it.
#pragma once

constexpr int WINDOWS_ERROR_BASE = 0x20000000;

int error_number_of(unsigned long windows_error);
