#!/bin/sh
# SPDX-License-Identifier: MIT
# Writes a text for Windows users: plain UTF-8 with CR LF line ends.
# Usage: windows_text.sh manual PAGE.1 OUTPUT.txt   (rendered, without overstriking)
#        windows_text.sh text INPUT OUTPUT.txt
set -e
case $1 in
manual) groff -man -Tutf8 -P-cbou "$2" ;;
text) cat "$2" ;;
*)
  echo "usage: windows_text.sh manual|text INPUT OUTPUT" >&2
  exit 2
  ;;
esac | sed 's/$/\r/' > "$3"
