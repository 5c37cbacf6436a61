#!/usr/bin/env bash
# Fuzzes every target of tests/fuzz for FUZZ_TIME seconds (60 by default),
# starting from its committed seeds and keeping new inputs under
# <build>/fuzz/corpus/<target>. Prints the executions per second of each
# target; a crash leaves its input as <build>/fuzz/crash-<target>-*.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
seconds=${FUZZ_TIME:-60}
status=0
for source in "$top"/tests/fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  name=${name#fuzz_}
  work="$build/fuzz/corpus/$name"
  out="$build/fuzz/$name.log"
  mkdir -p "$work"
  if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$build/fuzz/crash-$name-" "$work" "$top/tests/fuzz/corpus/$name" >"$out" 2>&1; then
    runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$out")
    rate=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+)/\1/p' "$out")
    printf '%-20s %10s runs in %ss, %8s per second\n' "$name" "$runs" "$seconds" "$rate"
  else
    printf '%-20s FAILED, see %s\n' "$name" "$out"
    status=1
  fi
done
exit $status
