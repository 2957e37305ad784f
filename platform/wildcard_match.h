// SPDX-License-Identifier: MIT
// The matching of one name against a pattern in which only * (any run of bytes) and ? (one
// byte) are special. Brackets, backslashes and a leading dot are ordinary characters.
#pragma once

bool matches_wildcard(const char *pattern, const char *name);
