#!/bin/sh
# Installs into a scratch prefix, runs the installed programs once, and checks what the
# packages hold.
# Usage: check_install.sh BUILD_DIR SCRATCH_DIR EXAMPLE_CP932 [WINDOWS_BUILD_DIR]
set -eu
build=$1 scratch=$2 example=$3 windows=${4:-}
rm -rf "$scratch"
mkdir -p "$scratch"

cmake --install "$build" --prefix "$scratch/prefix" > /dev/null
for file in bin/varnok bin/dostrel share/man/man1/varnok.1 share/man/man1/dostrel.1; do
  [ -f "$scratch/prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
"$scratch/prefix/bin/varnok" -b "$example" | "$scratch/prefix/bin/dostrel" | cmp - "$example"
echo "installed programs convert there and back"

(cd "$build" && cpack -G DEB -B "$scratch/package" > /dev/null)
deb=$(ls "$scratch"/package/*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for file in ./usr/bin/varnok ./usr/bin/dostrel ./usr/share/man/man1/varnok.1 \
  ./usr/share/man/man1/dostrel.1; do
  echo "$contents" | grep -qx "$file" || { echo "$(basename "$deb") lacks $file"; exit 1; }
done
echo "$(basename "$deb") holds both programs and both manual pages"

if [ -n "$windows" ]; then
  (cd "$windows" && cpack -G ZIP -B "$scratch/windows" > /dev/null)
  zip=$(ls "$scratch"/windows/*.zip)
  contents=$(cmake -E tar tf "$zip")
  for file in varnok.exe dostrel.exe README.txt; do
    echo "$contents" | grep -qx "$file" || { echo "$(basename "$zip") lacks $file"; exit 1; }
  done
  echo "$(basename "$zip") holds varnok.exe, dostrel.exe and README.txt"
fi
