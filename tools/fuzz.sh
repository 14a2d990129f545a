#!/usr/bin/env bash
# Builds the libFuzzer targets in the sanitized build (clang; nothing when the
# test command built it already) and runs each for SECONDS (default 20), as
# many side by side as there are processors, starting from its corpus
# in tests/fuzz/corpus. New inputs go to a temporary folder. An input that crashes, runs longer than 10 s or grows past
# 512 MB leaves crash-*, timeout-* or oom-* files here and fails the run. The
# sanitizer keeps at most 64 MB of freed memory aside (its own default is 256),
# so that the limit measures what the code under test holds; the assembler's
# target also runs each input on a stack of 1 MiB.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
quorvin_install_missing clang libclang-rt-14-dev
seconds=${1:-20}
targets="codepage settings programname emulator assembler tests flashfile"
QUORVIN_TARGETS=$(printf "fuzz_%s " $targets) quorvin_build_sanitized

# One target's run: its output goes to DIR/log, its exit status to DIR/status.
fuzz_one() {
    local target="$1" dir="$2" status=0
    ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64} \
        _build-asan/tests/fuzz/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
        -max_len=131072 -timeout=10 -rss_limit_mb=512 \
        "$dir/new" "tests/fuzz/corpus/$target" > "$dir/log" 2>&1 || status=$?
    echo "$status" > "$dir/status"
}

# The targets run side by side, as many at once as there are processors.
declare -A dirs
for target in $targets; do
    while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
    dirs[$target]=$(mktemp -d)
    mkdir "${dirs[$target]}/new"
    fuzz_one "$target" "${dirs[$target]}" &
done
wait

total=0
failed=0
for target in $targets; do
    dir=${dirs[$target]}
    if [ "$(cat "$dir/status")" != 0 ]; then
        tail -n 40 "$dir/log"
        echo "fuzz_$target: FAILED"
        failed=1
        continue
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log")
    total=$((total + runs))
    echo "fuzz_$target: $runs inputs in ${seconds}s, no fault"
    rm -rf "$dir"
done
[ "$failed" -eq 0 ] || exit 1
echo "fuzzing: $total inputs, no fault"
