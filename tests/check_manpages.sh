#!/bin/sh
# SPDX-License-Identifier: MIT
# The manual pages render without a single warning.
status=0
for page in "$@"; do
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "$page:"
    echo "$warnings"
    status=1
  else
    echo "$page renders without warnings"
  fi
done
exit $status
