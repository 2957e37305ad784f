#!/bin/sh
# SPDX-License-Identifier: MIT
# Regenerates the mapping file and compares it with the committed one, byte for byte.
# Usage: check_mapping.sh GENERATOR COMMITTED SCRATCH. Exit 77 (skipped) without iconv CP932.
generator=$1 committed=$2 scratch=$3
"$generator" "$scratch"
status=$?
if [ $status -eq 77 ]; then
  echo "skipped: glibc iconv has no CP932 converter on this machine"
  exit 77
fi
[ $status -eq 0 ] || exit 1
if cmp "$committed" "$scratch"; then
  echo "regenerated mapping is identical to $committed"
else
  echo "regenerated mapping differs from $committed:"
  diff "$committed" "$scratch" | head -n 20
  exit 1
fi
