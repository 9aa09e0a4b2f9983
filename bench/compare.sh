#!/bin/bash
# Installs what is missing (scipy and R's FNN from Debian), builds the
# benchmark and the Octave module, and prints the comparison table.
#   bash bench/compare.sh [--quick]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh compare
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DARVEL_BUILD_BENCH=ON \
  -DARVEL_BUILD_TESTS=OFF > /dev/null
cmake --build build-bench -j"$(nproc)" --target arvel_bench Arvel.mex_folder
/usr/bin/python3 bench/compare.py build-bench "$@"
