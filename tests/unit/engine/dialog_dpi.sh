#!/usr/bin/env bash
# The progress box case of dialog_tests at 96 and at 120 dots per inch, each
# in a wineserver started with that setting, with a screenshot of the box
# (BUILD/screens/progress-96.png, progress-120.png). Wine draws the window
# frames itself for these runs, since Xvfb has no window manager. The
# prefix's settings are restored afterwards.
#   tests/unit/engine/dialog_dpi.sh [BUILD]
set -uo pipefail
top=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
tests=$build/win/tests
screens=$build/screens
source "$top/scripts/wine_env.sh"
if [ -z "${WINEPREFIX:-}" ]; then
  QX_HEADLESS=1 qx_wine_start "$build"
  trap qx_wine_stop EXIT
fi
mkdir -p "$screens"
# "wine reg" must not find a reg.exe in the current folder.
cd "$screens"

desktop='HKCU\Control Panel\Desktop'
x11='HKCU\Software\Wine\X11 Driver'
restart() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  wineserver -p >/dev/null 2>&1
}
restore() {
  wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
  wine reg delete "$x11" /v Decorated /f >/dev/null 2>&1
  restart
  # Wine's helper processes start with the next program and keep its output
  # open: started here, they hold no pipe of a later test.
  wine cmd /c exit >/dev/null 2>&1
}

failed=0
wine reg add "$x11" /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
for dpi in 96 120; do
  if [ "$dpi" = 96 ]; then
    wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
  else
    wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  fi
  restart
  rm -f "progress-$dpi.bmp" "progress-$dpi.png"
  out=$screens/progress-$dpi.out
  # Wine's helper processes inherit the output: a file, not a pipe.
  QX_SCREENS=$(winepath -w "$screens") wine "$tests/dialog_tests.exe" "-tc=progress box: the package*" >"$out.crlf" 2>&1
  tr -d '\r' <"$out.crlf" >"$out" && rm -f "$out.crlf"
  if grep -q "^  dpi $dpi\$" "$out" && grep -qE 'test cases: *1 \| *1 passed \| *0 failed' "$out"; then
    echo "PASS progress box at $dpi dpi"
  else
    echo "FAIL progress box at $dpi dpi"
    sed 's/^/  | /' "$out"
    failed=1
  fi
  [ -f "progress-$dpi.bmp" ] && convert "progress-$dpi.bmp" "progress-$dpi.png" && rm -f "progress-$dpi.bmp"
  [ -f "progress-$dpi.png" ] && echo "  screenshot $screens/progress-$dpi.png"
done
restore
exit $failed
