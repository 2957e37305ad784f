#!/bin/sh
# SPDX-License-Identifier: MIT
# Streams 1 GiB through each program in a pipe and checks that the output is complete and that
# peak memory stays flat: the same few MiB for 1 MiB of input as for 1 GiB.
# Usage: check_streaming.sh VARNOK DOSTREL SCRATCH_DIR
set -u
varnok=$1 dostrel=$2 scratch=$3
mkdir -p "$scratch"
failed=0

# One MiB of text in each encoding: 65,536 lines of 16 bytes of CP932 ("日本語 abcdefgh\n").
line_cp932=$(printf '\223\372\226\173\214\352 abcdefgh')
yes "$line_cp932" | head -c 1048576 > "$scratch/mib.cp932"
iconv -f CP932 -t UTF-16BE < "$scratch/mib.cp932" > "$scratch/mib.utf16"

# stream PROGRAM INPUT_CHUNK COPIES EXPECTED_BYTES: prints the peak resident KiB.
stream() {
  program=$1 chunk=$2 copies=$3 expected=$4
  status_file="$scratch/status" rss_file="$scratch/rss"
  bytes=$(
    { i=0; while [ $i -lt "$copies" ]; do cat "$chunk"; i=$((i + 1)); done; } |
      { /usr/bin/time -f %M -o "$rss_file" "$program"; echo $? > "$status_file"; } | wc -c
  )
  status=$(cat "$status_file")
  if [ "$status" != 0 ] || [ "$bytes" != "$expected" ]; then
    echo "$(basename "$program"): $copies MiB gave status $status and $bytes bytes, expected 0 and $expected" >&2
    failed=1
  fi
  tail -n 1 "$rss_file"
}

check() { # program chunk bytes-out-per-mib
  program=$1 chunk=$2 per_mib=$3
  small=$(stream "$program" "$chunk" 1 "$per_mib")
  large=$(stream "$program" "$chunk" 1024 $((per_mib * 1024)))
  echo "$(basename "$program"): peak resident memory $small KiB for 1 MiB, $large KiB for 1 GiB"
  if [ "$large" -gt 4096 ] || [ "$large" -gt $((small + 512)) ]; then
    echo "$(basename "$program"): memory grows with the input" >&2
    failed=1
  fi
}

check "$varnok" "$scratch/mib.cp932" $(wc -c < "$scratch/mib.utf16")
check "$dostrel" "$scratch/mib.utf16" 1048576
rm -f "$scratch"/mib.*
exit $failed
