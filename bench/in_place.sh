#!/bin/sh
# SPDX-License-Identifier: MIT
# Times --in-place on a tree of small files against the shell loop that does the same by
# redirection and mv (which syncs nothing), taking turns, on the file system of FOLDER.
# Usage: bench/in_place.sh BUILD FOLDER [FILES] [ROUNDS]; needs bench/corpus (bench/run.sh).
set -e
build=$1 folder=$2 files=${3:-10000} rounds=${4:-3}
corpus=$(dirname "$0")/corpus/real.cp932
varnok=$(cd "$build" && pwd)/varnok/varnok
work=$(mktemp -d "$folder/in_place.XXXXXX")
trap 'rm -rf "$work"' EXIT

# FILES pieces of about 4 KiB of the real corpus, cut at line ends.
make_files() {
  rm -rf "$work/tree" && mkdir "$work/tree"
  python3 - "$corpus" "$work/tree" "$files" <<'PY'
import sys
data, folder, count = open(sys.argv[1], "rb").read(), sys.argv[2], int(sys.argv[3])
at = 0
for k in range(count):
    end = data.index(b"\n", at + 4000) + 1
    open(f"{folder}/f{k:05}.txt", "wb").write(data[at:end])
    at = end
PY
  sync
}

seconds() { # the wall time of "$@" in seconds
  start=$(date +%s.%N)
  "$@"
  echo "$(date +%s.%N) - $start" | bc
}

in_place() { cd "$work/tree" && "$varnok" -u --in-place ./*.txt; }
shell_loop() {
  cd "$work/tree" && for f in ./*.txt; do "$varnok" -u "$f" > "$f.new" && mv "$f.new" "$f"; done
}

for round in $(seq "$rounds"); do
  make_files
  one=$(seconds in_place)
  make_files
  loop=$(seconds shell_loop)
  echo "round $round: --in-place $one s, shell loop $loop s, ratio $(echo "$loop / $one" | bc -l | cut -c1-5)"
done
