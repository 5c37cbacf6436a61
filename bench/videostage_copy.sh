#!/usr/bin/env bash
# videostage.exe beside CopyFileW on a 1 GiB source, with peak memory. $1 is
# the build folder; WINEPREFIX is set by scripts/bench.sh. The profile
# C:\windows\setting.ini is put back as it was, and the 1 GiB files removed.
set -euo pipefail
build=$(cd "$1" && pwd)
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
work=$(mktemp -d "$WINEPREFIX/drive_c/videostage-bench-XXXXXX")
profile=$WINEPREFIX/drive_c/windows/setting.ini
saved=""
if [ -f "$profile" ]; then saved=$work/setting.ini.saved; cp "$profile" "$saved"; fi
cleanup() {
  rm -f "$profile"
  [ -n "$saved" ] && cp "$saved" "$profile"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/stage"
# Real blocks, not a sparse file: both copies read what they write.
head -c $((1 << 30)) /dev/urandom >"$work/source.mov"
printf '[VIDEO]\r\nPath=C:\\%s\\source.mov\r\n' "$(basename "$work")" >"$profile"
wine "$build/win/bench/videostage_copy.exe" 3 "$(winpath "$build/bin/videostage.exe")" \
  "C:\\$(basename "$work")\\source.mov" "C:\\$(basename "$work")\\stage"
