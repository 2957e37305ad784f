#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs on Debian (as root) what building the programs needs: a C++ compiler and CMake.
# With --all, also what the whole test suite needs: GoogleTest, clang (sanitizers, fuzzing),
# clang-format, mingw-w64 and wine (the Windows build), qemu and an aarch64 cross compiler,
# groff, lintian and dpkg-dev (manual pages, the Debian package), python3, bindfs (a FUSE mount
# for the tests of --in-place).
set -e
export DEBIAN_FRONTEND=noninteractive
packages="cmake make g++"
if [ "${1:-}" = "--all" ]; then
  packages="$packages libgtest-dev libc-bin binutils clang-format time groff-base dpkg dpkg-dev
    lintian python3 clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix wine wine64 locales
    qemu-user g++-aarch64-linux-gnu libc6-dev-arm64-cross parallel bindfs pkg-config
    python3-dev python3-pytest python3-venv python3-pip python3-setuptools python3-wheel"
elif [ -n "${1:-}" ]; then
  echo "usage: install-deps.sh [--all]" >&2
  exit 2
fi
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $packages
