#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the programs and runs the benchmark; the corpora go to bench/corpus (not committed).
# Needs (as root, once): apt-get install hyperfine icu-devtools manpages-ja time python3
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build -j "$(nproc)" > /dev/null
exec python3 bench/bench.py --build build --corpus bench/corpus "$@"
