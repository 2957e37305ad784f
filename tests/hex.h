// SPDX-License-Identifier: MIT
// Byte strings written as hexadecimal text, as the tests' tables give them: "81 0A".
#pragma once

#include <string>

std::string hex(const std::string &text);     // "30 42" -> the two bytes 0x30 0x42
std::string to_hex(const std::string &bytes); // the bytes back as "30 42"
