#!/usr/bin/env bash
# make demo: runs the built uninstaller under Wine through the test driver and
# shows the payload it carries, its exit code, and that the run left nothing
# in the temporary folder. A copy with a damaged container shows the fatal
# message. With $DISPLAY the windows appear there; without it the run happens
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
  local program=$1 before after
  before=$(ls -1A "$temp" | sort)
  wine "$driver" --shots "$(winpath "$demo/shots")" --raw "\"$(winpath "$program")\"" | tee "$demo/events.txt"
  after=$(ls -1A "$temp" | sort)
  echo "exit code: $(sed -n 's/^EXIT //p' "$demo/events.txt")"
  local left
  left=$(comm -13 <(echo "$before") <(echo "$after"))
  if [ -z "$left" ]; then
    echo "temporary folder: nothing left behind"
  else
    echo "temporary folder: left behind:"
    echo "$left" | sed 's/^/  /'
  fi
}

echo
echo "== running the uninstaller"
run "$uninstaller"

echo
echo "== running a copy whose container header says total size 0"
python3 "$top/package/build_container.py" --image "$build/win/uninstall/uninstall_image.exe" \
  --out "$demo/damaged.exe" --data "$build/bin/qxdlg.dat" --data "$build/bin/qxlng.dat" \
  --library "$build/bin/QXCore.dll" --total-size 0
run "$demo/damaged.exe"

shopt -s nullglob
for bmp in "$demo"/shots/*.bmp; do
  /usr/bin/convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
pngs=("$demo"/shots/*.png)
echo
echo "== ${#pngs[@]} screenshot(s) under $demo/shots"
for p in "${pngs[@]}"; do echo "  $p"; done
