#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks by symbol and by size that each program holds only its own mapping tables.
# Usage: check_tables_apart.sh VARNOK DOSTREL
varnok=$1 dostrel=$2 failed=0
symbols() { nm -C "$1" | awk '{print $NF}'; }
expect() { # program, symbol, present|absent
  if symbols "$1" | grep -qx "$2"; then found=present; else found=absent; fi
  if [ "$found" != "$3" ]; then
    echo "$(basename "$1"): $2 is $found, expected $3"
    failed=1
  fi
}
expect "$varnok" cp932_single present
expect "$varnok" cp932_double present
expect "$dostrel" cp932_double_utf8 absent
expect "$varnok" unicode_to_cp932 absent
expect "$dostrel" unicode_to_cp932 present
expect "$dostrel" cp932_single absent
expect "$dostrel" cp932_double absent
# The encode table alone is 128 KiB; the decode tables are 62 KiB, and their UTF-8 entries 124 KiB
# more. Neither binary may hold the other's.
varnok_data=$(size "$varnok" | awk 'NR==2 {print $2}')
dostrel_data=$(size "$dostrel" | awk 'NR==2 {print $2}')
echo "initialised data: varnok $varnok_data bytes, dostrel $dostrel_data bytes"
[ "$varnok_data" -lt 262144 ] || { echo "varnok holds too much data"; failed=1; }
[ "$dostrel_data" -lt $((131072 + 63872)) ] || { echo "dostrel holds too much data"; failed=1; }
exit $failed
