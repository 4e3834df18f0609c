#!/usr/bin/env bash
# Runs every fuzz target (fuzz/) for SECONDS each, default 60, in the clang sanitizer build.
#   scripts/fuzz.sh [SECONDS]
# The committed corpus (fuzz/corpus/<target>/) is only read: new inputs, logs and any crashing
# input go to build-asan/fuzz-scratch/<target>/, which later runs start from again.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup.sh

targets=()
for source in fuzz/*_fuzzer.cpp; do
  targets+=("$(basename "$source" .cpp)")
done
# A sanitizer build folder from the time it was a g++ build starts afresh (its cache keeps g++).
grep -qs '^CMAKE_CXX_COMPILER:FILEPATH=.*clang' build-asan/CMakeCache.txt || rm -rf build-asan
# The same configuration as the sanitizer build of scripts/test.sh, so that both share it.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DPERMSCOPE_SANITIZE=ON -DPERMSCOPE_FUZZ=ON >/dev/null
cmake --build build-asan -j2 --target "${targets[@]}"

failed=()
for target in "${targets[@]}"; do
  scratch=build-asan/fuzz-scratch/$target
  mkdir -p "$scratch/corpus"
  if build-asan/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$scratch/" "$scratch/corpus" "fuzz/corpus/$target" >"$scratch/log" 2>&1; then
    echo "$target: $(grep -E "^#[0-9]+[[:space:]]+DONE" "$scratch/log" | tail -1)"
  else
    echo "$target: FAILED, see $scratch/log"
    failed+=("$target")
  fi
done
[ ${#failed[@]} -eq 0 ]
