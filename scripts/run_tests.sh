#!/usr/bin/env bash
# Runs every test suite and ends with "N passed, N failed".
#   native unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)
#   Windows unit tests under Wine
#   end-to-end tests of the built programs under Wine (tests/e2e/test_*.py)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
log=$build/test-log
mkdir -p "$log"
rm -f "$log"/*.out

# Each suite prints PASS/FAIL lines; a suite that ends badly without a FAIL
# line counts as one failure of its own.
run_suite() {
  local name=$1; shift
  local out="$log/$name.out"
  echo "== $name"
  "$@" >"$out" 2>&1
  local rc=$?
  grep -E '^(PASS|FAIL) ' "$out" | sed 's/^/   /'
  if [ $rc -ne 0 ] && ! grep -q '^FAIL ' "$out"; then
    echo "FAIL $name (exit $rc)" >>"$out"
    echo "   FAIL $name (exit $rc); see $out"
    tail -n 20 "$out" | sed 's/^/     | /'
  elif grep -q '^FAIL ' "$out"; then
    grep -B0 -A0 '^  at ' "$out" | head -n 40 | sed 's/^/     | /'
  fi
}

for t in "$build"/native/tests/*_tests; do
  [ -x "$t" ] && run_suite "native-$(basename "$t")" "$t"
done

source "$top/scripts/wine_env.sh"
QX_HEADLESS=1 qx_wine_start "$build"
trap qx_wine_stop EXIT
export QX_TOP=$top

for t in "$build"/win/tests/*_tests.exe; do
  [ -f "$t" ] && run_suite "wine-$(basename "$t" .exe)" wine "$t"
done

# The progress box at 120 dots per inch needs a wineserver started with that
# setting; the script restores 96 and saves screenshots under build/screens.
run_suite wine-dialog_dpi bash "$top/tests/unit/engine/dialog_dpi.sh" "$build"

for t in "$top"/tests/e2e/test_*.py; do
  [ -f "$t" ] && run_suite "e2e-$(basename "$t" .py)" python3 "$t"
done

passed=$(cat "$log"/*.out 2>/dev/null | grep -c '^PASS ')
failed=$(cat "$log"/*.out 2>/dev/null | grep -c '^FAIL ')
echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
