#!/usr/bin/env bash
# Sets up the machine, builds Permscope and runs the whole test suite twice: once in a normal
# build and once in a clang build with AddressSanitizer and UndefinedBehaviorSanitizer, which also
# builds the fuzz targets (fuzz/) and runs each over its corpus and a fixed number of seeded runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

scripts/build.sh build
(cd build && ctest --output-on-failure -j2 --timeout 300)

# A sanitizer build folder from the time it was a g++ build starts afresh (its cache keeps g++).
grep -qs '^CMAKE_CXX_COMPILER:FILEPATH=.*clang' build-asan/CMakeCache.txt || rm -rf build-asan
scripts/build.sh build-asan -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DPERMSCOPE_SANITIZE=ON -DPERMSCOPE_FUZZ=ON
(cd build-asan && ctest --output-on-failure -j2 --timeout 300)
