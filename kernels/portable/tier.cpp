// SPDX-License-Identifier: MIT
#include "decode.h"
#include "encode.h"
#include "portable.h"

namespace portable {
namespace {
bool always() {
  return true;
}
} // namespace

const kernel_tier TIER = {
    "portable",
    always,
    always,
    {decode_cp932<unicode_form::utf16_big>, decode_cp932<unicode_form::utf16_little>,
     decode_cp932<unicode_form::utf8>},
    {encode_cp932<unicode_form::utf16_big>, encode_cp932<unicode_form::utf16_little>,
     encode_cp932<unicode_form::utf8>},
};

} // namespace portable
