#!/usr/bin/env bash
# Builds in Release mode and prints the benchmark table: case, ours, the floor
# measured beside it, the ratio and the goal. `--quick` uses tiny sizes.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
quorvin_install_missing
quorvin_build _build-bench Release -DBUILD_TESTING=OFF
_build-bench/bench/bench "$@"
