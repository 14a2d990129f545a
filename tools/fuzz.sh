#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default
# 20), starting from its corpus in tests/fuzz/corpus. New inputs go to a
# temporary folder. An input that crashes, runs longer than 10 s or grows past
# 512 MB leaves crash-*, timeout-* or oom-* files here and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
quorvin_install_missing clang libclang-rt-14-dev
seconds=${1:-20}
quorvin_build _build-fuzz RelWithDebInfo -DQUORVIN_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++
total=0
for target in codepage settings programname emulator assembler; do
    scratch=$(mktemp -d)
    log="$scratch/log"
    if ! _build-fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
        -max_len=131072 -timeout=10 -rss_limit_mb=512 \
        "$scratch" "tests/fuzz/corpus/$target" > "$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz_$target: FAILED"
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    total=$((total + runs))
    echo "fuzz_$target: $runs inputs in ${seconds}s, no fault"
    rm -rf "$scratch"
done
echo "fuzzing: $total inputs, no fault"
