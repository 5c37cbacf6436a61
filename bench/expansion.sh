#!/usr/bin/env bash
# Expansion cost of QXCore.dll beside a plain copy and the platform's own
# expansion, measured in the same run. $1 is the build folder.
set -euo pipefail
build=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
wine "$build/win/bench/expansion_bench.exe" "$(winpath "$build/bin")" "$(winpath "$top/package/qxlng.dat")"
