#!/usr/bin/env bash
# Installs what is missing, builds, and starts the editor.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
quorvin_install_missing
QUORVIN_TARGETS="quorvin pack8xp tasm2pasmo" quorvin_build _build RelWithDebInfo
bash tools/install-kit.sh _build/kit
exec _build/src/quorvin
