#!/usr/bin/env bash
# Builds the libFuzzer targets in the sanitized build (clang; nothing when the
# test command built it already) and runs each for SECONDS (default 20) of
# one processor, as many side by side as there are processors, starting from
# its corpus in tests/fuzz/corpus. New inputs go to a temporary folder. An input that crashes, runs longer than 10 s or grows past
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

# One run of a target for SECONDS: its output goes to DIR/log, its exit
# status to DIR/status.
fuzz_one() {
    local target="$1" seconds="$2" dir="$3" status=0
    ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64} \
        _build-asan/tests/fuzz/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
        -max_len=131072 -timeout=10 -rss_limit_mb=512 \
        "$dir/new" "tests/fuzz/corpus/$target" > "$dir/log" 2>&1 || status=$?
    echo "$status" > "$dir/status"
}

# The runs, as "target seconds": one a target. A lone target left for the
# last round would leave the other processors idle: it runs on all of them
# at once instead, each run for its share of the time, so that each target
# still has SECONDS of one processor.
lanes=$(nproc)
runs=()
for target in $targets; do runs+=("$target $seconds"); done
if [ "$lanes" -gt 1 ] && [ $((${#runs[@]} % lanes)) -eq 1 ]; then
    last=${runs[-1]%% *}
    unset 'runs[-1]'
    for _ in $(seq "$lanes"); do runs+=("$last $(((seconds + lanes - 1) / lanes))"); done
fi

# The runs go side by side, as many at once as there are processors.
dirs=()
for run in "${runs[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$lanes" ]; do wait -n || true; done
    dir=$(mktemp -d)
    mkdir "$dir/new"
    dirs+=("$dir")
    fuzz_one ${run} "$dir" &
done
wait

total=0
failed=0
for target in $targets; do
    inputs=0
    times=()
    fault=0
    for i in "${!runs[@]}"; do
        set -- ${runs[$i]}
        [ "$1" = "$target" ] || continue
        dir=${dirs[$i]}
        if [ "$(cat "$dir/status")" != 0 ]; then
            tail -n 40 "$dir/log"
            fault=1
            continue
        fi
        inputs=$((inputs + $(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log")))
        times+=("$2s")
        rm -rf "$dir"
    done
    if [ "$fault" -ne 0 ]; then
        echo "fuzz_$target: FAILED"
        failed=1
        continue
    fi
    total=$((total + inputs))
    echo "fuzz_$target: $inputs inputs in $(IFS=+; echo "${times[*]}"), no fault"
done
[ "$failed" -eq 0 ] || exit 1
echo "fuzzing: $total inputs, no fault"
