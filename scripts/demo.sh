#!/bin/bash
# Sets up, builds the plug-in for Octave, and runs the demo: entropy and
# mutual information of Gaussian samples beside their analytic values.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh demo
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DARVEL_BUILD_TESTS=OFF \
  -DARVEL_BUILD_BENCH=OFF > /dev/null
cmake --build build -j"$(nproc)" --target Arvel.mex_folder
octave-cli -q -f -H --eval "addpath('build/octave'); arvel_demo"
