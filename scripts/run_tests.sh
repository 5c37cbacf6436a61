#!/usr/bin/env bash
# Runs every test suite and ends with "N passed, N failed", counting test
# cases (each doctest case, each pytest case):
#   native unit tests (AddressSanitizer, UndefinedBehaviorSanitizer), by CTest
#   the fuzz targets, each once over its seed corpus, by CTest
#   the built programs of both architectures, read without running them
#     (pytest, tests/static)
# and for each architecture this machine runs natively (scripts/architectures.py):
#   Windows unit tests under Wine, by CTest
#   end-to-end tests of the built programs under Wine (pytest, tests/e2e)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
log=$build/test-log
mkdir -p "$log"
rm -f "$log"/*.out

passed=0
failed=0

# Runs the CTest tests of |dir|. Each program's cases come from its doctest
# summary; a program that ends badly without a summary, or with a failure
# its summary does not show, counts as one failed case more. A program with
# no summary that passes counts as one case.
run_ctest() {
  local name=$1 dir=$2
  local out="$log/$name.out"
  echo "== $name"
  ctest --test-dir "$dir" -V >"$out" 2>&1
  local -A cases=() fails=() names=() states=()
  local line summary='^([0-9]+): \[doctest\] test cases: *[0-9]+ \| *([0-9]+) passed \| *([0-9]+) failed'
  local status='Test +#([0-9]+): ([^ ]+) \.* *(\*\*\*)?([A-Za-z][^0-9]*[^ 0-9]) +[0-9.]+ sec'
  while IFS= read -r line; do
    if [[ $line =~ $summary ]]; then
      cases[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
      fails[${BASH_REMATCH[1]}]=${BASH_REMATCH[3]}
    elif [[ $line =~ $status ]]; then
      names[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
      states[${BASH_REMATCH[1]}]=${BASH_REMATCH[4]}
    fi
  done <"$out"
  if [ ${#names[@]} -eq 0 ]; then
    echo "   no test ran; see $out"
    tail -n 20 "$out" | sed 's/^/     | /'
    failed=$((failed + 1))
    return
  fi
  local id p f
  for id in $(printf '%s\n' "${!names[@]}" | sort -n); do
    if [ -z "${cases[$id]:-}" ]; then
      if [ "${states[$id]}" = Passed ]; then p=1 f=0; else p=0 f=1; fi
    else
      p=${cases[$id]} f=${fails[$id]}
      [ "${states[$id]}" != Passed ] && [ "$f" -eq 0 ] && f=1
    fi
    echo "   ${names[$id]} (${states[$id]}): $p passed, $f failed"
    passed=$((passed + p))
    failed=$((failed + f))
    if [ "$f" -ne 0 ]; then
      grep "^$id: " "$out" | sed "s/^$id: //" | grep -vE '^(\[doctest\]|Test command:|Working Directory:|Test timeout)' |
        head -n 60 | sed 's/^/     | /'
    fi
  done
}

# Runs pytest on the end-to-end tests. Its exit code 5 (no tests) is not a
# failure; an end without a summary counts as one failed case.
run_pytest() {
  local name=$1 folder=$2
  local out="$log/$name.out"
  echo "== $name"
  PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -m pytest -v -p no:cacheprovider "$folder" >"$out" 2>&1
  local rc=$?
  grep -E ' (PASSED|FAILED|ERROR)( |$)' "$out" | sed -E 's/^.*::([^ ]+) (PASSED|FAILED|ERROR).*/   \2 \1/'
  local summary
  summary=$(grep -E '^=+ .* in [0-9.]+s' "$out" | tail -n 1)
  local p f e
  p=$(grep -oE '[0-9]+ passed' <<<"$summary" | grep -oE '[0-9]+' || true)
  f=$(grep -oE '[0-9]+ failed' <<<"$summary" | grep -oE '[0-9]+' || true)
  e=$(grep -oE '[0-9]+ errors?' <<<"$summary" | grep -oE '[0-9]+' || true)
  p=${p:-0} f=$((${f:-0} + ${e:-0}))
  if [ -z "$summary" ] || { [ "$rc" -ne 0 ] && [ "$rc" -ne 5 ] && [ "$f" -eq 0 ]; }; then
    echo "   $name ended without a result (exit $rc); see $out"
    tail -n 20 "$out" | sed 's/^/     | /'
    f=$((f + 1))
  elif [ "$f" -ne 0 ]; then
    sed -n '/^=* FAILURES =*$/,/^=* short test summary/p' "$out" | grep -E '^(E  |[^ ].*:[0-9]+: )' | head -n 60 |
      sed 's/^/     | /'
  fi
  passed=$((passed + p))
  failed=$((failed + f))
}

run_ctest native "$build/native"
run_ctest fuzz "$build/fuzz"
QX_BUILD_ROOT=$build run_pytest static "$top/tests/static"

# Each architecture's Windows tests run beside the others', in a prefix,
# wineserver and display of their own: most of their time is Wine waiting.
# Each one's report is shown, and counted, once all have ended.
source "$top/scripts/wine_env.sh"
export QX_TOP=$top
ran=()
arches=()
while read -r arch answer; do
  if [ "$answer" != yes ]; then
    ran+=("$arch skipped (${answer#no: })")
    continue
  fi
  rm -f "$log/$arch.ready" "$log/$arch.counts"
  (
    trap qx_wine_stop EXIT
    QX_HEADLESS=1 qx_wine_start "$build" "$arch"
    touch "$log/$arch.ready"
    passed=0 failed=0
    run_ctest "wine-$arch" "$QX_BUILD/win/tests"
    run_pytest "e2e-$arch" "$top/tests/e2e"
    echo "$passed $failed" >"$log/$arch.counts"
  ) >"$log/$arch.report" 2>&1 &
  # The next one picks its display once this one has taken its own.
  while [ ! -e "$log/$arch.ready" ] && kill -0 $! 2>/dev/null; do sleep 0.2; done
  arches+=("$arch")
  ran+=("$arch ran")
done < <(python3 "$top/scripts/architectures.py")
wait
for arch in "${arches[@]}"; do
  cat "$log/$arch.report"
  if read -r p f <"$log/$arch.counts" 2>/dev/null; then
    passed=$((passed + p))
    failed=$((failed + f))
  else
    echo "   the $arch tests ended without a count; see $log/$arch.report"
    failed=$((failed + 1))
  fi
done

echo
(IFS=';'; echo "architectures: ${ran[*]}" | sed 's/;/; /g')
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
