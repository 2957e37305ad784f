#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs into a scratch prefix and runs the installed programs once; builds the Debian
# package, checks what it holds, lints it, installs and removes it in a scratch root; builds
# the Windows zip (when a Windows build is given) and checks what it holds.
# Usage: check_install.sh BUILD_DIR SCRATCH_DIR EXAMPLE_CP932 [WINDOWS_BUILD_DIR]
set -eu
build=$1 scratch=$2 example=$3 windows=${4:-}
rm -rf "$scratch"
mkdir -p "$scratch"

pages="share/man/man1/varnok.1.gz share/man/man1/dostrel.1.gz"
docs="share/doc/varnok-dostrel/copyright share/doc/varnok-dostrel/changelog.gz"
cmake --install "$build" --prefix "$scratch/prefix" > /dev/null
for file in bin/varnok bin/dostrel $pages $docs; do
  [ -f "$scratch/prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
"$scratch/prefix/bin/varnok" -b "$example" | "$scratch/prefix/bin/dostrel" | cmp - "$example"
echo "installed programs convert there and back"

# The README's C program, built against the installed library as its users build it.
readme=$(dirname "$0")/../README.md
awk '/^## The converters as a library/ { on = 1 } on && /^```c$/ { keep = 1; next }
     keep && /^```$/ { exit } keep' "$readme" > "$scratch/example.c"
pkgconfig=$(dirname "$(find "$scratch/prefix" -name cp932conv.pc)")
libdir=$(PKG_CONFIG_PATH=$pkgconfig pkg-config --variable=libdir cp932conv)
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror "$scratch/example.c" -o "$scratch/example" \
  $(PKG_CONFIG_PATH=$pkgconfig pkg-config --cflags --libs cp932conv)
LD_LIBRARY_PATH=$libdir "$scratch/example" > "$scratch/example.out"
printf 'line 1, column 9: invalid byte 0x80: dropped\n\302\245100\343\200\234\343\201\202\nstatus 4\n' |
  cmp - "$scratch/example.out"
for file in include/cp932conv.h; do
  [ -f "$scratch/prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
echo "the README's C program builds against the installed library and gives what varnok gives"

(cd "$build" && cpack -G DEB -B "$scratch/package" > /dev/null)
deb=$(ls "$scratch"/package/varnok-dostrel_*.deb)
debs=$(ls "$scratch"/package/*.deb)
# The package's files, from ./usr: $1 the package file, then the files it must hold.
holds() {
  package=$1
  shift
  contents=$(dpkg-deb -c "$package" | awk '{print $NF}')
  for file in "$@"; do
    echo "$contents" | grep -qx "./usr/$file" || { echo "$(basename "$package") lacks $file"; exit 1; }
  done
}
holds "$deb" bin/varnok bin/dostrel $pages $docs
echo "$(basename "$deb") holds both programs, both manual pages, copyright and changelog"
for package in $debs; do
  case $package in
  */libcp932conv1_*) holds "$package" lib/.*/libcp932conv.so.1.0.0 share/doc/libcp932conv1/copyright ;;
  */libcp932conv-dev_*) holds "$package" include/cp932conv.h lib/.*/libcp932conv.a \
    lib/.*/pkgconfig/cp932conv.pc share/doc/libcp932conv-dev/copyright ;;
  */python3-cp932conv_*) holds "$package" lib/python3/dist-packages/cp932conv/__init__.py \
    share/doc/python3-cp932conv/copyright ;;
  esac
done
echo "the library, its development files and the Python package are packaged too"

if command -v lintian > /dev/null; then
  # shellcheck disable=SC2086
  lintian --info $debs > "$scratch/lintian.log" 2>&1 || true
  cat "$scratch/lintian.log"
  if grep -q '^[EW]: ' "$scratch/lintian.log"; then
    echo "lintian reports errors or warnings"
    exit 1
  fi
  echo "lintian: no error and no warning"
else
  echo "lintian is missing: the package is not linted"
fi

# Install and remove in a scratch root; the libraries it depends on live outside it.
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: > "$root/var/lib/dpkg/status"
# shellcheck disable=SC2086
dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless -i $debs \
  > /dev/null
"$root/usr/bin/varnok" -b "$example" | "$root/usr/bin/dostrel" | cmp - "$example"
dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless -r \
  varnok-dostrel python3-cp932conv libcp932conv-dev libcp932conv1 > /dev/null
left=$(find "$root/usr" -type f 2> /dev/null | wc -l)
[ "$left" -eq 0 ] || { echo "dpkg -r left $left files"; exit 1; }
echo "the packages install, the programs convert there and back, and all remove cleanly"

if [ -n "$windows" ]; then
  (cd "$windows" && cpack -G ZIP -B "$scratch/windows" > /dev/null)
  zip=$(ls "$scratch"/windows/*.zip)
  mkdir "$scratch/unzipped"
  (cd "$scratch/unzipped" && cmake -E tar xf "$zip")
  for file in varnok.exe dostrel.exe README.txt varnok.txt dostrel.txt LICENSE; do
    [ -f "$scratch/unzipped/$file" ] || { echo "$(basename "$zip") lacks $file"; exit 1; }
  done
  for file in README.txt varnok.txt dostrel.txt; do
    # Plain text for Notepad: every line ends in CR LF, no overstriking, no escapes.
    if grep -q "$(printf '[^\r]$')" "$scratch/unzipped/$file" ||
      grep -q "$(printf '\b\|\033')" "$scratch/unzipped/$file"; then
      echo "$file is not plain text with CR LF line ends"
      exit 1
    fi
  done
  grep -q "WAVE  *DASH" "$scratch/unzipped/varnok.txt" || { echo "varnok.txt lacks the letters"; exit 1; }
  echo "$(basename "$zip") holds both programs, README.txt, LICENSE and both manuals as text"
fi
