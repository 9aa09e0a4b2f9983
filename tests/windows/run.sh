#!/bin/sh
# Configures, builds and tests the cross builds, each in its own directory
# under the repository root:
#
#   build-mingw64  Arvel.mexw64 (mingw-w64 x86-64), host tests under wine
#   build-mingw32  Arvel.mexw32 (mingw-w64 i686, x87), host tests under
#                  32-bit wine where it runs
#   build-x87      -m32 -mfpmath=387 Linux build: core tests and host tests,
#                  natively or under qemu-i386
#
# The values of the host tests are compared with those of the Linux build in
# build/, which is brought up to date (or made) first. What cannot be run
# here is said, with the reason; the exit status is non-zero on any failure.
#
#   tests/windows/run.sh        (from anywhere; works in the repository root)
set -u

root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 1
jobs=${ARVEL_JOBS:-2}
here=$root/tests/windows
log=$root/build-cross-logs
mkdir -p "$log"

failures=0
summary=
note() { summary="$summary$1
"; }
pass() { echo "PASS: $1"; note "PASS     $1"; }
fail() { echo "FAIL: $1"; note "FAIL     $1"; failures=$((failures + 1)); }
notrun() { echo "NOT RUN: $1"; note "NOT RUN  $1"; }

# Runs a step quietly into a log; prints the log's tail when it fails.
step() {
  what=$1
  shift
  file=$log/$(echo "$what" | tr ' /' '__').log
  echo "== $what"
  if "$@" >"$file" 2>&1; then
    return 0
  fi
  tail -n 40 "$file"
  echo "(full log: $file)"
  return 1
}

have() { command -v "$1" >/dev/null 2>&1; }

# ---- The Linux build's values ---------------------------------------------
linux_values=$root/build/host_values.txt
if [ ! -f build/CMakeCache.txt ]; then
  octave=OFF
  have mkoctfile && octave=ON
  step "configure build" cmake -S . -B build -DARVEL_BUILD_OCTAVE=$octave ||
    fail "configure the Linux build (build/)"
fi
if [ -f build/CMakeCache.txt ]; then
  if step "Linux host tests" sh -c "
      cmake --build build -j$jobs --target Arvel.mexa64 arvel_host_tests &&
      cd build && ctest --output-on-failure -R '^host\.cases_mexa64\$'"; then
    pass "Linux host tests (build/host_values.txt, the values compared with)"
  else
    fail "Linux host tests in build/"
  fi
fi

# ---- Windows ----------------------------------------------------------------
# cross_build NAME DIR TOOLCHAIN COMPILER
cross_build() {
  name=$1 dir=$2 toolchain=$3 compiler=$4
  if ! have "$compiler"; then
    fail "$name: $compiler is not installed"
    return 1
  fi
  step "configure $dir" cmake -S . -B "$dir" \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
      -DARVEL_BUILD_BENCH=OFF -DARVEL_WERROR=ON \
      -DARVEL_LINUX_VALUES="$linux_values" &&
    step "build $dir" cmake --build "$dir" -j"$jobs" || {
      fail "$name: build"
      return 1
    }
}

# windows_tests NAME DIR: the module check, the host tests and the values.
windows_tests() {
  name=$1 dir=$2
  if step "test $dir" sh -c "cd '$dir' && ctest --output-on-failure -j$jobs"; then
    skipped=$(grep -E '\(Skipped\)' "$log/test_$dir.log" | sed 's/^[[:space:]]*//')
    if [ -n "$skipped" ]; then
      pass "$name: the module's PE exports and imports"
      notrun "$name: host tests and values under wine: $(
        sh "$here/wine.sh" "$dir/tests/host/arvel_host_tests.exe" |
        sed 's/^SKIPPED: //')"
    else
      pass "$name: PE exports and imports, host tests under wine, values within 1e-12 of the Linux build"
    fi
  else
    fail "$name: tests (ctest in $dir)"
  fi
}

if ! have wine; then
  fail "wine is not installed: the Windows host tests cannot run"
fi
if cross_build "Arvel.mexw64" build-mingw64 toolchain-mingw-x86_64.cmake \
               x86_64-w64-mingw32-g++; then
  windows_tests "Arvel.mexw64" build-mingw64
fi
if cross_build "Arvel.mexw32" build-mingw32 toolchain-mingw-i686.cmake \
               i686-w64-mingw32-g++; then
  windows_tests "Arvel.mexw32" build-mingw32
fi

# ---- x87 --------------------------------------------------------------------
if [ ! -f /usr/src/googletest/CMakeLists.txt ]; then
  fail "x87 build: GoogleTest sources (/usr/src/googletest) are missing"
elif ! echo 'int main(){}' | g++ -m32 -x c++ - -o "$log/m32.out" 2>/dev/null; then
  fail "x87 build: g++ -m32 cannot link (g++-multilib is not installed)"
elif step "configure build-x87" cmake -S . -B build-x87 \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-linux-x87.cmake" \
      -DARVEL_GTEST_SOURCE_DIR=/usr/src/googletest \
      -DARVEL_BUILD_OCTAVE=OFF -DARVEL_BUILD_BENCH=OFF -DARVEL_WERROR=ON; then
  if runner=$(sh "$here/i386.sh" --probe); then
    if step "build build-x87" cmake --build build-x87 -j"$jobs" \
        --target arvel_core_tests arvel_host_tests Arvel.mexa64; then
      if step "test build-x87" sh -c "cd build-x87 && ctest --output-on-failure \
          -j$jobs -R '^(core\.|host\.cases_mexa64\$)'"; then
        pass "x87 build ($runner): core tests and host tests"
      else
        fail "x87 build ($runner): core or host tests"
      fi
      if [ -f build-x87/host_values.txt ] && [ -f "$linux_values" ] &&
         step "x87 values" perl "$here/compare_values.pl" \
              build-x87/host_values.txt "$linux_values" 1e-12; then
        pass "x87 build: values within 1e-12 of the Linux build"
      else
        fail "x87 build: values against the Linux build"
      fi
    else
      fail "x87 build: build"
    fi
  else
    # The core still builds; its tests cannot run.
    if step "build build-x87" cmake --build build-x87 -j"$jobs" \
        --target arvel_core Arvel.mexa64; then
      notrun "x87 core and host tests: $(echo "$runner" |
        sed 's/^SKIPPED: //') (the build itself passed)"
    else
      fail "x87 build: build"
    fi
  fi
else
  fail "x87 build: configure"
fi

echo
echo "Cross builds (logs in $log):"
printf '%s' "$summary"
if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
exit 0
