#!/bin/sh
# asm.bat NAME: builds a program into ~/Asm/Exec/NAME.8xp.
#
# The source is the file QUORVIN_SOURCE names (the editor sets it to the file
# being edited, just saved); run by hand, NAME.z80 or NAME.asm in the working
# folder, then in ~/Asm/Source. The kit's assembler qvasm reads the classic
# assembler's dialect, spasm-ng's and Brass's (#include, #define, .org, .db,
# left-to-right expressions, ...) and writes the program's bytes, a listing
# (Exec/NAME.lst) and its labels (Exec/NAME.lab); pack8xp makes the
# calculator's program file. Messages name the user's own file and line; they
# and a last line that says how the build went go to ~/Asm/TASM/error.log.
# Exits 0 when NAME.8xp was written.

# Names defined for every build, apart by blanks: NAME or NAME=VALUE (shell
# include files choose their definitions by them). TI83P is always defined.
defines="TI83P"

# Folders searched for include files after the source's own folder and the
# usual project folders beside it (include, inc, src, the folder above...).
# Add your own after a ':', for example "$root/TASM:$HOME/calc/include".
include_folders="$HOME/Asm/TASM"

name=$1
root="$HOME/Asm"
log="$root/TASM/error.log"
exec_dir="$root/Exec"
out="$exec_dir/$name.8xp"
here=$(dirname "$0")
# The editor names a log and a list of files read of this build's own, so
# that it never reads another build's; error.log always gets the log too.
build_log=${QUORVIN_LOG:-}
files_read=${QUORVIN_FILES_READ:-$root/TASM/last-build.files}

mkdir -p "$root/TASM" "$exec_dir" || exit 1
# The program, listing and labels are made in a folder inside Exec, so that
# they reach their places by a rename and never by a copy that a full disk
# could cut short.
made=""
work=""
trap 'rm -rf "$work" "$made"' EXIT
work=$(mktemp -d "${TMPDIR:-/tmp}/asm.XXXXXX") || exit 1
: > "$work/log" || exit 1

say() { printf '%s\n' "$*" >> "$work/log"; }
# Each log is written beside its place and renamed there; one that cannot be
# written is removed rather than left to tell of an earlier build.
put_log() {
    if cp "$work/log" "$1.tmp.$$" && mv -f "$1.tmp.$$" "$1"; then
        return 0
    fi
    rm -f -- "$1.tmp.$$" "$1"
    return 1
}
write_logs() {
    status=0
    put_log "$log" || status=1
    if [ -n "$build_log" ]; then
        put_log "$build_log" || status=1
    fi
    return $status
}
finish() {
    write_logs || exit 1
    exit "$1"
}
outputs_gone() { rm -f -- "$out" "$exec_dir/$name.lst" "$exec_dir/$name.lab"; }
fail() {
    [ -n "$*" ] && say "$*"
    outputs_gone
    say "Build failed: no program was written."
    finish 1
}

# A failed build leaves no program, listing or labels from an earlier one behind.
outputs_gone
made=$(mktemp -d "$exec_dir/.asm.XXXXXX") || fail "error: cannot write in $exec_dir"

[ -n "$name" ] || fail "error: no program name was given"

src=""
if [ -n "$QUORVIN_SOURCE" ]; then
    [ -f "$QUORVIN_SOURCE" ] || fail "error: the source $QUORVIN_SOURCE is not a file"
    src=$QUORVIN_SOURCE
else
    for dir in . "$root/Source"; do
        [ -n "$src" ] && break
        if [ -f "$dir/$name.z80" ] && [ -f "$dir/$name.asm" ]; then
            fail "error: both $name.z80 and $name.asm are in $dir; build one of them from the editor, or rename the other"
        fi
        for ext in z80 asm; do
            [ -f "$dir/$name.$ext" ] && src="$dir/$name.$ext"
        done
    done
    [ -n "$src" ] || fail "error: no source $name.z80 or $name.asm in $(pwd) or $root/Source"
fi

# A helper program of the kit: next to this script, else on PATH.
helper() {
    if [ -x "$here/$1" ]; then
        printf '%s\n' "$here/$1"
    else
        command -v "$1" || fail "error: $1 is not next to asm.bat or on PATH"
    fi
}
assembler=$(helper qvasm) || exit 1
packer=$(helper pack8xp) || exit 1

say "Assembling $src"
set --
old_ifs=$IFS
IFS=:
for folder in $include_folders; do
    [ -n "$folder" ] && set -- "$@" -I "$folder"
done
IFS=$old_ifs
for define in $defines; do
    set -- "$@" -D "$define"
done
"$assembler" "$@" "$src" -o "$made/program.bin" --listing "$made/program.lst" \
    --labels "$made/program.lab" --files-read "$files_read" \
    > "$work/summary" 2>> "$work/log" || fail

"$packer" "$made/program.bin" "$made/program.8xp" "$name" >> "$work/log" 2>&1 ||
    fail "Packing the program failed."
summary=$(cat "$work/summary") || fail "error: cannot read the assembler's summary"
say "Build succeeded: $summary"
# The logs first: a build whose log cannot be written has not succeeded.
if ! write_logs; then
    outputs_gone
    exit 1
fi
if ! { mv -f "$made/program.lst" "$exec_dir/$name.lst" &&
       mv -f "$made/program.lab" "$exec_dir/$name.lab" &&
       mv -f "$made/program.8xp" "$out"; }; then
    outputs_gone
    : > "$work/log"
    fail "error: cannot move the program into $exec_dir"
fi
exit 0
