#!/usr/bin/env bash
# Bytes of each deliverable beside its limit, and an empty program linked the
# same way as the floor; the limits hold for the shipped 32-bit programs, and
# the 64-bit twin's sizes follow for comparison.
set -euo pipefail
build=${1:?build folder}
report() {  # name, file, limit in bytes (0: none)
  local bytes
  bytes=$(stat -c %s "$2")
  if [ "$3" -gt 0 ]; then
    printf '%-34s %8d bytes  (limit %d, %s)\n' "$1" "$bytes" "$3" "$([ "$bytes" -le "$3" ] && echo within || echo OVER)"
  else
    printf '%-34s %8d bytes\n' "$1" "$bytes"
  fi
}
# The limits are the sizes of the shipped package: its launcher image ends at
# ContainerStart 101,888; QXCore.dll is 123,360 bytes.
report "launcher image"                "$build/win/uninstall/uninstall_image.exe" 101888
report "uninstall.exe with container"  "$build/bin/uninstall.exe" 0
report "QXCore.dll"                    "$build/bin/QXCore.dll" 123360
report "videostage.exe"                "$build/bin/videostage.exe" 40960
report "empty program (floor)"         "$build/win/bench/empty_program.exe" 0
twin=$build/x64
if [ -f "$twin/bin/QXCore.dll" ]; then
  report "x64 twin: launcher image"        "$twin/win/uninstall/uninstall_image.exe" 0
  report "x64 twin: QXCore.dll"            "$twin/bin/QXCore.dll" 0
  report "x64 twin: videostage.exe"        "$twin/bin/videostage.exe" 0
fi
# Where the bytes go: the largest inputs of each image, from its link map.
for map in "$build/win/uninstall/uninstall_image.map" "$build/win/engine/QXCore.map"; do
  [ -f "$map" ] || continue
  echo "largest inputs of $(basename "$map" .map):"
  python3 "$(dirname "$0")/../scripts/map_summary.py" "$map" 6 | sed 's/^/  /'
done
