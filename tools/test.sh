#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the suite as shipped,
# the suite again under AddressSanitizer and UBSan, each fuzz target for a
# short time, and the Debian package's checks.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
quorvin_install_missing clang libclang-rt-14-dev

# The suite runs on the build the package is made from, with Debian's flags.
quorvin_debian_flags
quorvin_build _build RelWithDebInfo "${debian_flags[@]}"
ctest --test-dir _build --output-on-failure

quorvin_build _build-asan Debug -DQUORVIN_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir _build-asan --output-on-failure

bash tools/fuzz.sh "${QUORVIN_FUZZ_SECONDS:-15}"

QUORVIN_PACKAGE_BUILD=_build bash tools/package.sh --check
