#!/usr/bin/env bash
# Sets up the machine, builds Permscope and starts it: on this machine's domain when its
# directory answers, else on the built-in demo (a private directory and sample folders, see
# scripts/demo/run_demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
if scripts/demo/domain_reachable.sh; then
    exec build/app/permscope
fi
echo "run: no domain directory answers here; starting the demo" >&2
exec scripts/demo/run_demo.sh build
