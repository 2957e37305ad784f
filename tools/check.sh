#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds everything and runs the whole test suite:
#   build/           the native programs and all tests (and, when mingw-w64 and wine are
#                    installed, the Windows programs of build-windows/ under wine);
#   build-aarch64/   the unit tests for aarch64 under qemu-aarch64, when the cross compiler,
#                    qemu and GoogleTest's sources are installed;
#   build-sanitize/  everything again with AddressSanitizer and UndefinedBehaviorSanitizer,
#                    plus the fuzz targets (label "fuzz", FUZZ_SECONDS each), when clang and
#                    its fuzzer runtime are installed.
set -e
cd "$(dirname "$0")/.."
# On a fresh machine, as root, first install what the tests need.
for tool in cmake g++ clang++ clang-format wine x86_64-w64-mingw32-g++-posix lintian groff \
  dpkg-shlibdeps python3 qemu-aarch64 aarch64-linux-gnu-g++ parallel bindfs pkg-config; do
  if ! command -v "$tool" > /dev/null || [ ! -f /usr/include/gtest/gtest.h ]; then
    if [ "$(id -u)" = 0 ]; then sh tools/install-deps.sh --all; fi
    break
  fi
done
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}

windows=""
if command -v x86_64-w64-mingw32-g++-posix > /dev/null && command -v wine > /dev/null; then
  cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
  cmake --build build-windows -j "$jobs"
  windows="$(pwd)/build-windows"
else
  echo "mingw-w64 or wine is missing: the Windows programs are not built or tested"
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DWINDOWS_BUILD_DIR="$windows"
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# The unit tests built for aarch64 and run under qemu (label "cross"): the portable kernels on
# a processor that is not x86.
if command -v aarch64-linux-gnu-g++ > /dev/null && command -v qemu-aarch64 > /dev/null &&
  [ -d /usr/src/googletest ]; then
  cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
    -DCMAKE_BUILD_TYPE=Release
  cmake --build build-aarch64 -j "$jobs" --target varnok_unit_tests dostrel_unit_tests
  ctest --test-dir build-aarch64 --output-on-failure -j "$jobs" -L cross
else
  echo "the aarch64 cross compiler or qemu is missing: no aarch64 tests"
fi

if command -v clang++ > /dev/null; then
  CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSANITIZE=ON -DFUZZING=ON -DFUZZ_SECONDS="$fuzz_seconds"
  cmake --build build-sanitize -j "$jobs"
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
else
  echo "clang is missing: no sanitizer build and no fuzzing"
fi
