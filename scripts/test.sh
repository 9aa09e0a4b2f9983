#!/bin/bash
# Sets up and runs every test: the core, host and Octave tests of the Linux
# build, the same against every nanoflann release in ../shared/nanoflann,
# the Windows builds under wine and the x87 core build, the sanitizer
# builds, and a bounded fuzzing run. Prints a summary; exits
# non-zero if anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test || exit 1

failed=()
step() {
  local name=$1
  shift
  echo
  echo "================ $name"
  if "$@"; then
    echo "================ $name: passed"
  else
    echo "================ $name: FAILED"
    failed+=("$name")
  fi
}

linux() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DARVEL_WERROR=ON \
    -DARVEL_BUILD_TESTS=ON -DARVEL_BUILD_BENCH=ON > /dev/null &&
    cmake --build build -j"$(nproc)" &&
    (cd build && ctest --output-on-failure)
}

step "Linux: core, host and Octave tests" linux
step "nanoflann releases" bash tests/releases/run.sh
step "Windows and x87" bash tests/windows/run.sh
step "Sanitizers" bash tests/reliability/sanitize.sh
step "Fuzzing (bounded)" bash tests/fuzz/run.sh "${ARVEL_FUZZ_SECONDS:-180}"

echo
if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All test steps passed."
