#!/usr/bin/env bash
# Builds the gateway's fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/ at the repository root and runs
# it for a bounded time, from the committed corpus and what earlier runs
# added to build-fuzz/corpus. A crash, a leak, a timeout or a breach of the
# target's checks stops the run; its input is kept in build-fuzz/findings/.
#
#   tests/fuzz/run.sh [seconds]          (default 180)
#
# Exits 0 when nothing was found.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build-fuzz"
seconds=${1:-180}

generator=()
if [[ ! -f "$build/CMakeCache.txt" ]] && command -v ninja >/dev/null; then
  generator=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${generator[@]}" \
  -DCMAKE_CXX_COMPILER="${ARVEL_FUZZ_CXX:-clang++}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DARVEL_FUZZ=ON -DARVEL_BUILD_TESTS=ON \
  -DARVEL_BUILD_OCTAVE=OFF -DARVEL_BUILD_MEXA64=OFF -DARVEL_BUILD_BENCH=OFF \
  >/dev/null
cmake --build "$build" --target arvel_fuzz_gateway -j "$(nproc 2>/dev/null || echo 2)"

mkdir -p "$build/corpus" "$build/findings"
log="$build/fuzz.log"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

echo "fuzzing the gateway for ${seconds} s (log: $log)"
status=0
"$build/tests/fuzz/arvel_fuzz_gateway" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
  -print_final_stats=1 -artifact_prefix="$build/findings/" \
  "$build/corpus" "$root/tests/fuzz/corpus" >"$log" 2>&1 || status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
echo "executions: ${executions:-unknown}"
echo "corpus: $(ls "$build/corpus" | wc -l) inputs in build-fuzz/corpus"
if [[ $status -ne 0 ]]; then
  echo "FOUND: the fuzzer stopped with status $status"
  grep -E "FUZZ FINDING|ERROR: |runtime error|SUMMARY|Test unit written" "$log" | head -20 || true
  exit 1
fi
echo "nothing found"
