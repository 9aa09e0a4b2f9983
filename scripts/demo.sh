#!/bin/bash
# Sets up, builds the plug-in for Octave, and runs the demo: entropy and
# mutual information of Gaussian samples beside their analytic values, and
# a plot of their errors against the number of samples in
# build/arvel_demo.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh demo
# A new build/ leaves the tests and benchmarks out (GoogleTest is not in
# the demo's set); an existing one keeps its options, so that the demo
# does not take the tests out of a build that has them.
if [ -f build/CMakeCache.txt ]; then
  cmake -S . -B build > /dev/null
else
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DARVEL_BUILD_TESTS=OFF \
    -DARVEL_BUILD_BENCH=OFF > /dev/null
fi
cmake --build build -j"$(nproc)" --target Arvel.mex_folder
# The plot is drawn off screen: no display is needed.
octave-cli -q -f -H --eval "addpath('build/octave'); arvel_demo('$PWD/build/arvel_demo.png')"
