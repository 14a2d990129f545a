#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
quorvin_install_missing
quorvin_build _build RelWithDebInfo
ctest --test-dir _build --output-on-failure
