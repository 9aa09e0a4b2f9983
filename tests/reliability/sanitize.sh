#!/usr/bin/env bash
# Builds the core and host tests with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ at the repository root, and with
# ThreadSanitizer in build-tsan/, and runs them through ctest. The first
# sanitizer report fails the test that made it. The Octave module is not
# built: Octave itself is not instrumented.
#
#   tests/reliability/sanitize.sh [extra ctest arguments]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build-asan"
jobs=$(nproc 2>/dev/null || echo 2)

generator=()
if command -v ninja >/dev/null; then
  generator=(-G Ninja)
fi

configure() {
  local dir=$1
  shift
  local gen=()
  if [[ ! -f "$dir/CMakeCache.txt" ]]; then gen=("${generator[@]}"); fi
  cmake -S "$root" -B "$dir" "${gen[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DARVEL_BUILD_TESTS=ON \
    -DARVEL_BUILD_OCTAVE=OFF \
    -DARVEL_BUILD_BENCH=OFF "$@"
  cmake --build "$dir" -j "$jobs"
}
configure "$build" -DARVEL_SANITIZE=ON

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export LSAN_OPTIONS="report_objects=1${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

(cd "$build" && ctest --output-on-failure -j "$jobs" "$@")

# The worker threads under ThreadSanitizer: every case of more than a few
# thousand samples runs on several threads, here on three.
tsan="$root/build-tsan"
configure "$tsan" -DARVEL_SANITIZE_THREAD=ON
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
cd "$tsan"
ARVEL_NUM_THREADS=3 ctest --output-on-failure -j "$jobs" "$@"
