#!/usr/bin/env bash
# Installs what is missing, builds, puts the toolchain kit into ~/Asm (saying
# what it installed, updated and kept), and starts the editor.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
quorvin_install_missing
QUORVIN_TARGETS="quorvin kit_stage" quorvin_build_main
_build/src/quorvin --setup-kit
exec _build/src/quorvin "$@"
