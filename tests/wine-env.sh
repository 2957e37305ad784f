#!/bin/sh
# SPDX-License-Identifier: MIT
# Prepares and ends the wine environment in which the Windows programs are tested.
# Usage: wine-env.sh start|stop DIR
#   start: makes the ja_JP.UTF-8 locale (so wine's ANSI code page is 932), a fresh wine prefix,
#          and one persistent wineserver that every test reuses.
#   stop:  ends that wineserver.
set -u
action=$1 dir=$2
export WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case $action in
start)
  mkdir -p "$dir/locale"
  if [ ! -d "$dir/locale/ja_JP.UTF-8" ]; then
    localedef -i ja_JP -f UTF-8 "$dir/locale/ja_JP.UTF-8" > "$dir/localedef.log" 2>&1
    [ -d "$dir/locale/ja_JP.UTF-8" ] || { cat "$dir/localedef.log"; exit 1; }
  fi
  export LOCPATH="$dir/locale" LC_ALL=ja_JP.UTF-8
  if ! wineboot -i > "$dir/wineboot.log" 2>&1; then
    cat "$dir/wineboot.log"
    exit 1
  fi
  wineserver -p
  echo "wine prefix ready in $WINEPREFIX"
  ;;
stop)
  wineserver -k 2> /dev/null
  exit 0
  ;;
*)
  echo "usage: wine-env.sh start|stop DIR" >&2
  exit 2
  ;;
esac
