#!/bin/sh
# Builds everything and runs the whole test suite: the native programs, and the Windows
# programs (cross-built with mingw-w64) under wine when both are installed.
set -e
cd "$(dirname "$0")/.."
jobs=$(nproc)
windows=""
if command -v x86_64-w64-mingw32-g++-posix > /dev/null && command -v wine > /dev/null; then
  cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
  cmake --build build-windows -j "$jobs"
  windows="$(pwd)/build-windows"
else
  echo "mingw-w64 or wine is missing: the Windows programs are not built or tested"
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DWINDOWS_BUILD_DIR="$windows"
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
