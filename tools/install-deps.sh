#!/bin/sh
# Installs what building and testing need on Debian (run as root).
set -e
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends \
  cmake make g++ libgtest-dev libc-bin binutils clang-format time groff-base dpkg \
  clang libclang-rt-14-dev \
  g++-mingw-w64-x86-64-posix wine wine64 locales
