#!/usr/bin/env bash
# Start-to-exit wall time of the uninstaller with its shipped payload beside a
# trivial Windows program, in one run under the same Wine. $1 is the build
# folder.
set -euo pipefail
build=$(cd "$1" && pwd)
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
wine "$build/win/bench/launcher_start.exe" 15 "$(winpath "$build/bin/uninstall.exe")"
