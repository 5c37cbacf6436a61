#!/usr/bin/env bash
# How fast the progress box appears, beside a bare window with the same
# controls, in the same run. $1 is the build folder.
set -euo pipefail
build=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
wine "$build/win/bench/progress_box_bench.exe" "$(winpath "$build/bin")" "$(winpath "$top/package")"
