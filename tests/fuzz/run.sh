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
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build "$build" --target arvel_fuzz_gateway -j "$jobs"

mkdir -p "$build/corpus" "$build/findings"
log="$build/fuzz.log"
# A smaller quarantine than the default 256 MiB keeps the resident size of a
# long run far below the limit, and runs twice as fast.
asan="detect_leaks=1:strict_string_checks=1"
asan+=":quarantine_size_mb=32:malloc_context_size=10"
export ASAN_OPTIONS="$asan${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
ubsan="print_stacktrace=1:halt_on_error=1"
export UBSAN_OPTIONS="$ubsan${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

echo "fuzzing the gateway for ${seconds} s (log: $log)"
status=0
"$build/tests/fuzz/arvel_fuzz_gateway" \
  -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 \
  -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/findings/" \
  "$build/corpus" "$root/tests/fuzz/corpus" >"$log" 2>&1 || status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
echo "executions: ${executions:-unknown}"
echo "peak RSS: $(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1) MiB;" \
     "corpus: $(ls "$build/corpus" | wc -l) inputs in build-fuzz/corpus"
if [[ $status -ne 0 ]]; then
  echo "FOUND: the fuzzer stopped with status $status"
  grep -E "FUZZ FINDING|ERROR: |runtime error|SUMMARY|Test unit written" \
    "$log" | head -20 || true
  exit 1
fi
echo "nothing found"
