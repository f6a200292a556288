#!/usr/bin/env bash
# Builds the fuzz targets with clang + libFuzzer (ASan + UBSan) and runs each
# over a copy of its committed corpus. Usage:
#   tools/fuzz.sh [seconds per target] [runs per target] [target...]
# 0 seconds means no time limit; the defaults are the bounded CI step.
# An input running over 30 s counts as a hang. Failing inputs land in
# build-fuzz/findings/<target>/; once fixed, copy them to
# tests/fuzz/regressions/<target>/ so the replay tests keep them.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-120}
runs=${2:-2000}
shift 2 || shift $#
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(scd map plans)
build="$top/build-fuzz"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DOSTREL_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

export LSAN_OPTIONS=suppressions=$top/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  cp -n "$top/tests/fuzz/corpus/$t/"* "$corpus/"
  echo "== fuzz_$t: up to $runs runs, ${seconds}s"
  "$build/tests/fuzz/fuzz_$t" -runs="$runs" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$top/tests/fuzz/regressions/$t" 2>"$build/fuzz_$t.log" || status=1
  grep -E "^(#[0-9]+[[:space:]]+DONE|Done|stat::number_of_executed_units)|ERROR|FUZZ CHECK" "$build/fuzz_$t.log" || true
done
exit $status
