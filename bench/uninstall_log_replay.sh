#!/usr/bin/env bash
# reference: NSIS
# The uninstall log's replay phases beside a bare DeleteFileW loop and NSIS
# uninstallers deleting the same things, in one Wine session. $1 is the build
# folder.
set -euo pipefail
build=$(cd "$1" && pwd)
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
bench=$build/win/bench/uninstall_log_replay.exe
work=$build/bench-work/uninstall_log_replay
rm -rf "$work"
mkdir -p "$work"
wine "$bench" /nsi "$(winpath "$work")"
for peer in empty files registry ini; do
  (cd "$work" && makensis -V1 "peer_$peer.nsi" >/dev/null)
done
wine "$bench" "$(winpath "$build/bin")" "$(winpath "$work")"
