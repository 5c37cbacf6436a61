#!/usr/bin/env bash
# make demo: runs the built uninstaller under Wine through the test driver and
# shows the payload it carries, its exit codes, and what the runs left in the
# temporary folder: first without a log beside it (the log-not-found message),
# then installed with its log (the restart from a temporary copy with "/u",
# whose second stage opens and checks the log), then a copy with a damaged
# container (the fatal message). With $DISPLAY the windows appear there; without it the run happens
# in Xvfb. Either way each window is saved as a PNG under BUILD/demo/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
uninstaller=$build/bin/uninstall.exe
driver=$build/win/tests/qxdriver.exe
demo=$build/demo

winpath() { printf 'Z:%s' "${1//\//\\}"; }

echo "== payload carried by $uninstaller"
7zz l "$uninstaller" | sed -n '/^Path = /,$p'

source "$top/scripts/wine_env.sh"
qx_wine_start "$build"
trap qx_wine_stop EXIT
temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
mkdir -p "$temp"
rm -rf "$demo" && mkdir -p "$demo/shots"

# Runs one program under the driver; prints its events, exit code and what it
# left in the temporary folder.
run() {
  local label=$1 program=$2 before after
  shift 2
  mkdir -p "$demo/shots/$label"
  before=$(ls -1A "$temp" | sort)
  wine "$driver" "$@" --shots "$(winpath "$demo/shots/$label")" --raw "\"$(winpath "$program")\"" | tee "$demo/events.txt"
  after=$(ls -1A "$temp" | sort)
  echo "exit code: $(sed -n 's/^EXIT //p' "$demo/events.txt")"
  left=$(comm -13 <(echo "$before") <(echo "$after"))
  if [ -z "$left" ]; then
    echo "temporary folder: nothing left behind"
  else
    echo "temporary folder: left behind:"
    echo "$left" | sed 's/^/  /'
  fi
}

echo
echo "== running the uninstaller with no log beside it"
run no-log "$uninstaller"

echo
echo "== running an installed uninstaller with its log (first stage, then the copy)"
install="$WINEPREFIX/drive_c/Program Files/Orvella"
mkdir -p "$install"
cp "$uninstaller" "$install/uninstall.exe"
printf '%s\r\n' "[QXUninst]" 30000 Orvella_Installation 1033 'C:\Program Files\Orvella' >"$install/uninstall.log"
run with-log "$install/uninstall.exe" --wait-all
echo "(the restarted copy qxu*.tmp would stay until the next restart; the demo removes it)"
for name in $left; do case $name in qxu*.tmp) rm -f "$temp/$name" ;; esac; done
rm -rf "$install"

echo
echo "== running a copy whose container header says total size 0"
python3 "$top/package/build_container.py" --image "$build/win/uninstall/uninstall_image.exe" \
  --out "$demo/damaged.exe" --data "$build/bin/qxdlg.dat" --data "$build/bin/qxlng.dat" \
  --library "$build/bin/QXCore.dll" --total-size 0
run damaged "$demo/damaged.exe"

shopt -s nullglob
for bmp in "$demo"/shots/*/*.bmp; do
  /usr/bin/convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
pngs=("$demo"/shots/*/*.png)
echo
echo "== ${#pngs[@]} screenshot(s) under $demo/shots"
for p in "${pngs[@]}"; do echo "  $p"; done
