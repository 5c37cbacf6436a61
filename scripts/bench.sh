#!/usr/bin/env bash
# Runs every benchmark under bench/ (bench/*.sh, each given the build tree of
# the architecture it runs) inside the project's Wine environment; each
# prints its own figures. The sizes are read from both builds. The rest runs
# the shipped 32-bit programs where the machine runs 32-bit code, and the
# 64-bit twin elsewhere; a benchmark whose reference is an NSIS peer (a line
# "# reference: NSIS") needs 32-bit code and is skipped there, with a line.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
echo "== sizes"
bash "$top/bench/sizes.sh" "$build"
arch=x86
why=$(python3 "$top/scripts/architectures.py" | sed -n 's/^x86 no: //p')
[ -n "$why" ] && arch=x64
echo "== running the $arch programs${why:+ (no 32-bit programs run here: $why)}"
source "$top/scripts/wine_env.sh"
QX_HEADLESS=1 qx_wine_start "$build" "$arch"
trap qx_wine_stop EXIT
export QX_TOP=$top
for b in "$top"/bench/*.sh; do
  [ -f "$b" ] || continue
  name=$(basename "$b" .sh)
  [ "$name" = sizes ] && continue
  echo "== $name"
  if [ "$arch" != x86 ] && grep -q '^# reference: NSIS' "$b"; then
    echo "skipped: its NSIS peer is a 32-bit program"
    continue
  fi
  bash "$b" "$QX_BUILD"
done
