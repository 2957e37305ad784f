// SPDX-License-Identifier: MIT
// The machine's limit for the two filters: a table-free copy that only widens each byte to a
// big-endian 16-bit unit (widen), keeps the low byte of each unit (narrow), or copies the bytes
// (copy, the limit for UTF-8), with the same block I/O as the filters. No converter can do less
// work per byte.
//
// Usage: copy_limit widen|narrow|copy < input > output
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t BLOCK = 64 * 1024;
unsigned char in[BLOCK];
unsigned char out[2 * BLOCK];

bool write_all(const unsigned char *data, size_t size) {
  while (size > 0) {
    ssize_t done = write(1, data, size);
    if (done <= 0) return false;
    data += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2 || (std::strcmp(argv[1], "widen") != 0 && std::strcmp(argv[1], "narrow") != 0 &&
                    std::strcmp(argv[1], "copy") != 0)) {
    std::fputs("usage: copy_limit widen|narrow|copy\n", stderr);
    return 2;
  }
  const bool widen = std::strcmp(argv[1], "widen") == 0;
  const bool copy = std::strcmp(argv[1], "copy") == 0;
  ssize_t got;
  size_t odd = 0; // narrow: a byte left from the last block
  while ((got = read(0, in + odd, BLOCK - odd)) > 0) {
    size_t count = static_cast<size_t>(got) + odd, written = 0;
    if (copy) {
      std::memcpy(out, in, count);
      written = count;
    } else if (widen) {
      for (size_t k = 0; k < count; ++k) {
        out[2 * k] = 0;
        out[2 * k + 1] = in[k];
      }
      written = 2 * count;
      odd = 0;
    } else {
      for (size_t k = 0; k + 1 < count; k += 2) out[written++] = in[k + 1];
      odd = count % 2;
      if (odd) in[0] = in[count - 1];
    }
    if (!write_all(out, written)) return 1;
  }
  return got < 0 ? 1 : 0;
}
