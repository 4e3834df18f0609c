#!/usr/bin/env bash
# Sets up the machine, builds Permscope and starts it: on this machine's domain when its
# directory answers (in the folder run.sh was called from), else on the built-in demo (a private
# directory and sample folders, see scripts/demo/run_demo.sh).
set -euo pipefail
start_folder=$PWD
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
# The program alone: the tests are built by scripts/test.sh.
scripts/build.sh build-run -DPERMSCOPE_BUILD_TESTS=OFF
if build-run/app/permscope-domain-check; then
    cd "$start_folder"
    exec "$root/build-run/app/permscope"
fi
echo "run: no domain directory answers here; starting the demo" >&2
exec scripts/demo/run_demo.sh build-run
