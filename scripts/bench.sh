#!/usr/bin/env bash
# Runs every benchmark under bench/ (bench/*.sh, each given the build folder)
# inside the project's Wine environment; each prints its own figures.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
source "$top/scripts/wine_env.sh"
QX_HEADLESS=1 qx_wine_start "$build"
trap qx_wine_stop EXIT
export QX_TOP=$top
for b in "$top"/bench/*.sh; do
  [ -f "$b" ] || continue
  echo "== $(basename "$b" .sh)"
  bash "$b" "$build"
done
