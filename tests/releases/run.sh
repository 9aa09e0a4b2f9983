#!/bin/bash
# The core, the plug-ins and their tests against every nanoflann release in
# a folder of releases, each installed as a CMake package
# (<folder>/<release>/share/cmake/nanoflann), after the system's own:
#
#   tests/releases/run.sh [folder]     default: ../shared/nanoflann
#
# Each release gets a build tree build-nanoflann-<release>, whose core and
# host tests must pass and whose values (host_values.txt) must equal those
# of the Linux build build/, bit for bit. Then the Octave package of build/
# is installed once with the newest release's header in front of the
# system's (CPPFLAGS=-I..., as a user points the package at a header), and
# its values must equal build/octave's. Without the folder, says so and
# passes.
set -uo pipefail
cd "$(dirname "$0")/../.."
folder=${1:-../shared/nanoflann}
if [ ! -d "$folder" ]; then
  echo "No nanoflann releases at $folder: only the system's release was tested."
  exit 0
fi
if [ ! -f build/host_values.txt ]; then
  echo "build/host_values.txt is missing: run the Linux build's tests first." >&2
  exit 1
fi

releases=()
for dir in "$folder"/*/; do
  [ -d "$dir/share/cmake/nanoflann" ] && releases+=("$(basename "$dir")")
done
mapfile -t releases < <(printf '%s\n' "${releases[@]}" | sort -V)
logs=build-cross-logs
mkdir -p "$logs"
failed=0
for release in "${releases[@]}"; do
  b=build-nanoflann-$release
  log=$logs/nanoflann-$release.log
  if cmake -S . -B "$b" -DCMAKE_BUILD_TYPE=Release -DARVEL_WERROR=ON \
       -DARVEL_BUILD_TESTS=ON -DARVEL_BUILD_BENCH=OFF -DARVEL_BUILD_OCTAVE=OFF \
       -Dnanoflann_DIR="$(cd "$folder/$release" && pwd)/share/cmake/nanoflann" \
       > "$log" 2>&1 &&
     cmake --build "$b" -j"$(nproc)" >> "$log" 2>&1 &&
     (cd "$b" && ctest --output-on-failure) >> "$log" 2>&1 &&
     cmp -s "$b/host_values.txt" build/host_values.txt; then
    echo "PASS nanoflann $release: $(grep 'tests passed' "$log" | tail -1);" \
      "values equal build/'s"
  else
    echo "FAIL nanoflann $release (log: $log)"
    tail -30 "$log"
    failed=1
  fi
done

newest=${releases[${#releases[@]}-1]:-}
package=$(ls build/arvel-*.tar.gz 2>/dev/null | head -1)
if [ -n "$newest" ] && [ -n "$package" ] && [ -d build/octave ]; then
  log=$logs/nanoflann-package.log
  if CPPFLAGS="-I$(cd "$folder/$newest" && pwd)/include" \
     octave-cli -q -f -H --no-gui --eval \
       "addpath('$PWD/tests/octave'); test_package('$PWD/$package', '$PWD/build/octave')" \
       > "$log" 2>&1; then
    echo "PASS Octave package with nanoflann $newest: $(grep 'values of the installed' "$log")"
  else
    echo "FAIL Octave package with nanoflann $newest (log: $log)"
    tail -30 "$log"
    failed=1
  fi
fi
exit $failed
