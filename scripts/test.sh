#!/usr/bin/env bash
# Sets up the machine, builds Permscope and runs the whole test suite twice: once in a normal
# build and once in a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

scripts/build.sh build
(cd build && ctest --output-on-failure -j2 --timeout 300)

scripts/build.sh build-asan -DPERMSCOPE_SANITIZE=ON
(cd build-asan && ctest --output-on-failure -j2 --timeout 300)
