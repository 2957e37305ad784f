#!/bin/sh
# SPDX-License-Identifier: MIT
# A newcomer's first minute: builds the two programs (not the tests), converts the example file
# to UTF-16 and back, shows the text, and says whether the round trip gave the same bytes.
# Installs the compiler and CMake first when they are missing and this runs as root.
set -e
cd "$(dirname "$0")/.."
if ! command -v cmake > /dev/null || ! command -v g++ > /dev/null; then
  if [ "$(id -u)" = 0 ]; then
    sh tools/install-deps.sh
  else
    echo "cmake and g++ are missing: run 'sh tools/install-deps.sh' as root first" >&2
    exit 1
  fi
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
cmake --build build -j "$(nproc)" --target varnok dostrel > /dev/null
echo "built build/varnok/varnok and build/dostrel/dostrel"

example=docs/example.cp932
./build/varnok/varnok -b "$example" > example.utf16
echo "varnok -b $example > example.utf16: $(wc -c < "$example") bytes of CP932 became" \
  "$(wc -c < example.utf16) bytes of UTF-16 with a byte order mark"
if command -v iconv > /dev/null; then
  echo "the UTF-16, decoded for reading by iconv -f UTF-16 -t UTF-8:"
  iconv -f UTF-16 -t UTF-8 example.utf16 | sed 's/^/  /'
fi
if ./build/dostrel/dostrel example.utf16 | cmp -s - "$example"; then
  echo "dostrel example.utf16, compared with $example: round trip: identical"
else
  echo "dostrel example.utf16, compared with $example: round trip: DIFFERENT" >&2
  exit 1
fi
