#!/usr/bin/env bash
# A mutation run of our own: how many plausible one-line faults the tests
# catch. Faults are made one at a time in the assembler (src/z80/*.cpp), the
# runner's OS calls (src/run/os*.cpp) and the build verdict
# (src/toolchain/commands.cpp): a comparison made strict or loose, == for !=,
# && for ||, + 1 for - 1, a number one larger, true for false, a statement
# deleted. For each, the tests of that layer are rebuilt and run, fastest
# first; the fault is killed when one fails (or runs past its time), survives
# when all pass, and is not counted when it does not compile. Survivors are
# listed, then the kill rate.
#
#   tools/mutate.sh [COUNT [SEED]]    COUNT faults (default 60) drawn with SEED
#                                     (default 1): the same seed, the same faults
#
# Uses _build-dev (configured as the helpers' build line says when missing),
# or the folder QUORVIN_MUTATE_BUILD names, building two jobs at a time
# (QUORVIN_MUTATE_JOBS). QUORVIN_MUTATE_AGAIN names an earlier run's output:
# only its survivors are tried again (after tests were added). When the
# sources have changed since that run, QUORVIN_MUTATE_BASE names the commit
# it ran on: each survivor's line is followed to where it stands now, and one
# whose line was itself changed is listed as gone. Each file is put back as
# it was, also when the run is interrupted.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-60}
seed=${2:-1}
build=${QUORVIN_MUTATE_BUILD:-_build-dev}
timeout=${QUORVIN_MUTATE_TIMEOUT:-120}
jobs=${QUORVIN_MUTATE_JOBS:-2}
again=${QUORVIN_MUTATE_AGAIN:-}
base=${QUORVIN_MUTATE_BASE:-}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache > /dev/null
fi

# The tests that can see a fault in FILE, fastest first.
tests_for() {
    case "$1" in
    src/z80/*) echo "kit_assembler_test z80_analysis_test z80_highlight_test z80_facts_test" \
                    "kit_edges_test kit_brass_test kit_dialect_test z80_encoder_test" \
                    "kit_budget_test" ;;
    src/run/*) echo "run_machine_test run_os_test" ;;
    src/toolchain/*) echo "toolchain_commands_test toolchain_runner_test" ;;
    esac
}

work=$(mktemp -d)
current=""
restore() {
    if [ -n "$current" ]; then
        cp "$work/original" "$current"
        current=""
    fi
}
trap 'restore; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# Every place a fault can be made, one a line: FILE LINE COLUMN OLD NEW
# (tab-separated); then COUNT of them drawn with SEED.
python3 - "$count" "$seed" "$again" "$base" src/z80/*.cpp src/run/os*.cpp src/toolchain/commands.cpp \
    > "$work/mutants" <<'EOF'
import difflib, random, re, subprocess, sys

count, seed, again, base, files = (int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4],
                                   sys.argv[5:])

def code_only(line):
    """The line with string and character literals and comments blanked."""
    out, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == '\\':
                out.append('  ')
                i += 2
                continue
            if c == quote:
                quote = None
            out.append(' ' if quote else c)
        elif c in '"\'':
            quote = c
            out.append(c)
        elif line.startswith('//', i):
            break
        else:
            out.append(c)
        i += 1
    return ''.join(out).ljust(len(line))

swaps = {'<': '<=', '<=': '<', '>': '>=', '>=': '>', '==': '!=', '!=': '==',
         '&&': '||', '||': '&&'}
declaration = re.compile(r'^\s*(const|constexpr|static|auto|return|case|default|if|for|while|'
                         r'else|do|switch|using|namespace|template|struct|class|enum|break|'
                         r'continue)\b')
statement = re.compile(r'^\s*(\+\+|--)?[A-Za-z_][\w:.\->\[\]]*(\(.*\)|\s*([-+*/|&^]|<<|>>)?=[^=]|'
                       r'\+\+|--)')
mutants = []
for path in files:
    lines = open(path, encoding='utf-8').read().split('\n')
    block = False
    for n, raw in enumerate(lines, 1):
        stripped = raw.strip()
        if block:
            block = '*/' not in stripped
            continue
        if stripped.startswith('/*'):
            block = '*/' not in stripped
            continue
        if not stripped or stripped.startswith(('//', '#')):
            continue
        code = code_only(raw)
        for m in re.finditer(r' (<=|>=|==|!=|<|>|&&|\|\|) ', code):
            mutants.append((path, n, m.start(1), m.group(1), swaps[m.group(1)]))
        for m in re.finditer(r' ([-+]) 1(?![\w.])', code):
            mutants.append((path, n, m.start(1), m.group(1), '-' if m.group(1) == '+' else '+'))
        for m in re.finditer(r'(?<![\w.$])(\d+)(?![\w.])', code):
            mutants.append((path, n, m.start(1), m.group(1), str(int(m.group(1)) + 1)))
        for m in re.finditer(r'\b(true|false)\b', code):
            mutants.append((path, n, m.start(1), m.group(1),
                            'false' if m.group(1) == 'true' else 'true'))
        # A whole statement on this line, not a declaration or a jump.
        before = lines[n - 2].strip() if n > 1 else ''
        if (code.rstrip().endswith(';') and statement.match(code) and not declaration.match(code)
                and (before.endswith((';', '{', '}', ':')) or before.startswith('//'))):
            mutants.append((path, n, len(raw) - len(raw.lstrip()), stripped, ';'))
random.Random(seed).shuffle(mutants)
print(f'{len(mutants)} places', file=sys.stderr)
if not again:
    for path, n, column, old, new in mutants[:count]:
        print(f'{path}\t{n}\t{column}\t{old}\t{new}')
    sys.exit(0)

def moved(path):
    """Old line number -> today's, for the lines of `path` unchanged since `base`."""
    before = subprocess.run(['git', 'show', f'{base}:{path}'], capture_output=True,
                            text=True).stdout.split('\n')
    after = open(path, encoding='utf-8').read().split('\n')
    lines = {}
    for a, b, size in difflib.SequenceMatcher(None, before, after, autojunk=False).get_matching_blocks():
        for k in range(size):
            lines[a + k + 1] = b + k + 1
    return lines

where = {}
for line in open(again):
    m = re.match(r"survived: ([^:]+):(\d+)(?::(\d+))?: '(.*)' -> '(.*)'$", line.rstrip('\n'))
    if not m:
        continue
    path, n, old, new = m.group(1), int(m.group(2)), m.group(4), m.group(5)
    column = int(m.group(3)) if m.group(3) else None
    if base:
        if path not in where:
            where[path] = moved(path)
        if n not in where[path]:
            print(f"gone: {path}:{n}: '{old}' -> '{new}'", file=sys.stderr)
            continue
        n = where[path][n]
    found = [x for x in mutants if x[0] == path and x[1] == n and x[3] == old and x[4] == new
             and (column is None or x[2] == column)]
    if found:
        print('\t'.join(str(v) for v in found[0]))
    else:
        print(f"gone: {path}:{n}: '{old}' -> '{new}'", file=sys.stderr)
EOF

# Applies one fault: the text OLD at COLUMN of LINE becomes NEW.
apply() {
    python3 - "$@" <<'EOF'
import sys
path, n, column, old, new = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
lines = open(path, encoding='utf-8').read().split('\n')
line = lines[n - 1]
assert line[column:column + len(old)] == old, (path, n, line, old)
lines[n - 1] = line[:column] + new + line[column + len(old):]
open(path, 'w', encoding='utf-8').write('\n'.join(lines))
EOF
}

# The tests must pass before any fault is made.
all_tests=$(for f in src/z80/x src/run/x src/toolchain/x; do tests_for "$f"; done)
# shellcheck disable=SC2086
ninja -C "$build" -j"$jobs" $all_tests > "$work/log" 2>&1 || { cat "$work/log"; exit 1; }
for t in $all_tests; do
    ctest --test-dir "$build" -R "^$t\$" --timeout "$timeout" > "$work/log" 2>&1 ||
        { cat "$work/log"; echo "mutate: $t fails without a fault"; exit 1; }
done

killed=0 survived=0 stillborn=0
while IFS=$'\t' read -r file line column old new; do
    cp "$file" "$work/original"
    current=$file
    apply "$file" "$line" "$column" "$old" "$new"
    # Each test is built only when the ones before it passed.
    verdict=survived
    for t in $(tests_for "$file"); do
        if ! ninja -C "$build" -j"$jobs" "$t" > "$work/log" 2>&1 < /dev/null; then
            verdict=stillborn
            break
        fi
        if ! ctest --test-dir "$build" -R "^$t\$" --timeout "$timeout" > "$work/log" 2>&1 < /dev/null; then
            verdict="killed by $t"
            break
        fi
    done
    restore
    if [ "$verdict" = stillborn ]; then
        stillborn=$((stillborn + 1))
    elif [ "$verdict" = survived ]; then
        survived=$((survived + 1))
        echo "survived: $file:$line:$column: '$old' -> '$new'"
    else
        killed=$((killed + 1))
        echo "$verdict: $file:$line:$column: '$old' -> '$new'"
    fi
done < "$work/mutants"

# Leave the build as the sources are.
# shellcheck disable=SC2086
ninja -C "$build" -j"$jobs" $all_tests > /dev/null 2>&1 || true
tried=$((killed + survived))
echo "mutants: $((tried + stillborn)) drawn with seed $seed, $stillborn not compiling;" \
    "$killed of $tried killed ($((tried ? 100 * killed / tried : 0))%), $survived survived"
