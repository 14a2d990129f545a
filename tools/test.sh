#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the suite as shipped,
# the suite again under AddressSanitizer and UBSan, each fuzz target for a
# short time, and the Debian package's checks.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh

# The processor time (user + system, in ms) of every finished child so far
# of the shell with process id $1, from its entry in /proc (fields 16 and 17,
# in clock ticks).
children_cpu_ms() {
    local f
    read -r -a f < "/proc/$1/stat"
    echo $(((f[15] + f[16]) * 1000 / $(getconf CLK_TCK)))
}

# Each stage says how long it took and how much processor time, so a slow run
# shows where its time went, even on a machine busy with other work.
stage() {
    local name="$1" start=$SECONDS cpu shell=$BASHPID # this shell, or the subshell of a stage beside
    shift
    cpu=$(children_cpu_ms "$shell")
    "$@"
    echo "== $name: $((SECONDS - start)) s, CPU $((($(children_cpu_ms "$shell") - cpu + 500) / 1000)) s"
}

# A stage that runs in the background beside the next ones, its output kept in
# a file until `finish_beside NAME` shows it and fails if it failed.
beside_logs=$(mktemp -d)
# The processes whose parent is $1, from /proc (the fourth field of each
# stat, after the command's name in parentheses).
children_of() {
    local f line ppid
    for f in /proc/[0-9]*/stat; do
        { read -r line < "$f"; } 2>/dev/null || continue
        read -r _ ppid _ <<< "${line##*) }"
        if [ "$ppid" = "$1" ]; then
            f=${f#/proc/}
            echo "${f%/stat}"
        fi
    done
}
# A process and all it started: each is stopped while its children are
# listed, so that none starts another unseen (ctest would start the next test).
kill_tree() {
    local kids kid
    kill -STOP "$1" 2>/dev/null || return 0
    kids=$(children_of "$1")
    kill -TERM "$1" 2>/dev/null || true
    kill -CONT "$1" 2>/dev/null || true
    for kid in $kids; do kill_tree "$kid"; done
}
# A stage that failed ends the run, and with it those still running beside
# and the tests they started.
trap 'for job in $(jobs -pr); do kill_tree "$job"; done; rm -rf "$beside_logs"' EXIT
declare -A beside_pids
beside() {
    local name="$1"
    shift
    stage "$name (beside the next stage)" "$@" > "$beside_logs/$name" 2>&1 &
    beside_pids[$name]=$!
}
finish_beside() {
    local status=0
    wait "${beside_pids[$1]}" || status=$?
    cat "$beside_logs/$1"
    return "$status"
}

# Everything every stage needs is installed first: stages that run side by
# side must not both call apt.
stage "install" quorvin_install_missing clang libclang-rt-14-dev $quorvin_package_check_packages

# The suite runs on the build the package is made from, with Debian's flags
# (the run command builds the same).
stage "build" quorvin_build_main

# The suite and the package's checks wait on processes, windows and timers
# more than they compute (on two processors they kept one busy for 17 s of
# 22): they run beside the sanitized build, which keeps both busy.
beside "tests" ctest --test-dir _build --output-on-failure -j"$(nproc)"
beside "package" env QUORVIN_PACKAGE_BUILD=_build bash tools/package.sh --check

# clang compiles this build in two thirds of gcc's time (its precompiled
# header loads lazily), and a second compiler's warnings come with it. The
# fuzz targets are built in it too, on the same compiled libraries.
stage "sanitizer build" quorvin_build_sanitized
finish_beside "tests"
finish_beside "package"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
stage "sanitizer tests" ctest --test-dir _build-asan --output-on-failure -j"$(nproc)"
unset ASAN_OPTIONS UBSAN_OPTIONS

stage "fuzzing" bash tools/fuzz.sh "${QUORVIN_FUZZ_SECONDS:-10}"

echo "== all: $SECONDS s, CPU $((($(children_cpu_ms $$) + 500) / 1000)) s"
