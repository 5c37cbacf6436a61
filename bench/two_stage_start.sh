#!/usr/bin/env bash
# reference: NSIS
# The installed uninstaller's two-stage start beside an NSIS uninstaller's,
# in the same Wine session. $1 is the build folder.
set -euo pipefail
build=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
QX_BUILD=$build PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$top/bench/two_stage_start.py"
