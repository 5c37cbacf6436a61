#!/usr/bin/env bash
# Start-to-exit wall time of the uninstaller with its shipped payload beside a
# trivial Windows program, in one run under the same Wine. The uninstaller is
# installed with a log, as an installation leaves it. $1 is the build folder.
set -euo pipefail
build=$(cd "$1" && pwd)
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
install=$build/bench/launcher_start
rm -rf "$install" && mkdir -p "$install"
cp "$build/bin/uninstall.exe" "$install/uninstall.exe"
printf '%s\r\n' "[QXUninst]" 30000 Orvella_Installation 1033 'C:\Program Files\Orvella' >"$install/uninstall.log"
temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
mkdir -p "$temp"
before=$(ls -1A "$temp" | sort)
status=0
wine "$build/win/bench/launcher_start.exe" 15 "$(winpath "$install/uninstall.exe")" || status=$?
# The restarted copies stay in the temporary folder until a restart: remove
# those of this run.
comm -13 <(echo "$before") <(ls -1A "$temp" | sort) | grep -i '^qxu.*\.tmp$' | while read -r name; do
  rm -f "$temp/$name"
done
rm -rf "$install"
exit $status
