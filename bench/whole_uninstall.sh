#!/usr/bin/env bash
# reference: NSIS
# The whole silent uninstallation of a 10,000-file installation through the
# installed uninstall.exe beside an NSIS uninstaller removing the same
# installation, in the same Wine session. $1 is the build folder.
set -euo pipefail
build=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
QX_BUILD=$build PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$top/bench/whole_uninstall.py"
