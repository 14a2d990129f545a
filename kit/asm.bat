#!/bin/sh
# asm.bat NAME: builds a program into ~/Asm/Exec/NAME.8xp, or a Flash
# application (a source that starts at 4000h with the application header,
# 80 0Fh ...) into ~/Asm/Exec/NAME.8xk, signed with the key its header names
# when ~/Asm/TASM holds it (0104.key).
#
# The source is the file QUORVIN_SOURCE names (the editor sets it to the file
# being edited, just saved); run by hand, NAME.z80 or NAME.asm in the working
# folder, then in ~/Asm/Source. The kit's assembler qvasm reads the classic
# assembler's dialect, spasm-ng's and Brass's (#include, #define, .org, .db,
# left-to-right expressions, ...) and writes the program's bytes, a listing
# (Exec/NAME.lst), its labels (Exec/NAME.lab) and its source map
# (Exec/NAME.map: which line made which bytes) and its errors and warnings as
# values (Exec/NAME.diag, which the editor marks lines from); pack8xp makes the
# calculator's file. Messages name the user's own file and line; they
# and a last line that says how the build went go to ~/Asm/TASM/error.log.
# Exits 0 when the calculator's file was written.

# Names defined for every build, apart by blanks: NAME or NAME=VALUE (shell
# include files choose their definitions by them). TI83P is always defined.
# A program adds its own with a line among its first ten:
# "; defines: DEBUG LEVEL=2". The log's first line lists those in force.
defines="TI83P"

# Folders searched for include files after the source's own folder and the
# usual project folders beside it (include, inc, src, the folder above...).
# Add your own after a ':', for example "$root/TASM:$HOME/calc/include".
include_folders="$HOME/Asm/TASM"

name=$1
root="$HOME/Asm"
log="$root/TASM/error.log"
exec_dir="$root/Exec"
case $0 in */*) here=${0%/*} ;; *) here=. ;; esac
# The editor names a log and a list of files read of this build's own, so
# that it never reads another build's; error.log always gets the log too.
build_log=${QUORVIN_LOG:-}
files_read=${QUORVIN_FILES_READ:-$root/TASM/last-build.files}

# Few programs run: each costs more than the script's own work. The log and
# the program's binary are written beside where they end up, under names of
# this build's own ($$), and reach their places by a rename, never by a copy
# that a full disk could cut short; what is left over is removed.
[ -d "$root/TASM" ] && [ -d "$exec_dir" ] || mkdir -p "$root/TASM" "$exec_dir" || exit 1
work="$log.tmp.$$"
binary="$exec_dir/$name.bin.tmp.$$"
own=""
[ -n "$build_log" ] && own="$build_log.tmp.$$"
trap 'rm -f -- "$work" "$binary" ${own:+"$own"}' EXIT
: > "$work" || exit 1

say() { printf '%s\n' "$*" >> "$work"; }
# The build's own log is a copy made beside its place; error.log is renamed
# into place. A log that cannot be written is removed rather than left to
# tell of an earlier build.
write_logs() {
    status=0
    if [ -n "$own" ]; then
        if ! { cp -- "$work" "$own" && mv -f -- "$own" "$build_log"; }; then
            rm -f -- "$build_log"
            status=1
        fi
    fi
    if ! mv -f -- "$work" "$log"; then
        rm -f -- "$log"
        status=1
    fi
    return $status
}
# Every file a build may write, in one rm (a program started costs more than
# the rest of the script).
outputs_gone() {
    stem="$exec_dir/$name"
    rm -f -- "$stem.8xp" "$stem.8xk" "$stem.8xv" "$stem.8xn" "$stem.8xl" "$stem.8xm" "$stem.8xs" \
        "$stem.8xi" "$stem.8xd" "$stem.8xc" "$stem.lst" "$stem.lab" "$stem.map"
}
finish() {
    write_logs || exit 1
    exit "$1"
}
fail() {
    [ -n "$*" ] && say "$*"
    say "Build failed: no program was written."
    outputs_gone
    finish 1
}

# A failed build leaves no program, listing or labels from an earlier one
# behind; its messages as values (Exec/NAME.diag) are this build's own.
outputs_gone
rm -f -- "$exec_dir/$name.diag"

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

# A helper program of the kit: next to this script, else on PATH; in $found.
helper() {
    if [ -x "$here/$1" ]; then
        found="$here/$1"
    else
        found=$(command -v "$1") || fail "error: $1 is not next to asm.bat or on PATH"
    fi
}
helper qvasm
assembler=$found
helper pack8xp
packer=$found

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
# qvasm and pack8xp write each file under a temporary name in its folder,
# check every write and rename it into place.
summary=$("$assembler" "$@" "$src" -o "$binary" --listing "$exec_dir/$name.lst" \
    --labels "$exec_dir/$name.lab" --map "$exec_dir/$name.map" --files-read "$files_read" \
    --diagnostics "$exec_dir/$name.diag" --announce \
    2>> "$work") || fail

# pack8xp writes NAME.8xp, NAME.8xk for an application, or the variable a
# "; variable: appvar" line asks for (NAME.8xv), and ends the summary with
# what it wrote (signed or not, and what an unsigned application means).
ending=$("$packer" --to "$exec_dir/$name" --keys "$root/TASM" --source "$src" "$binary" "$name" 2>> "$work") ||
    fail "Packing the program failed."
say "Build succeeded: $summary$ending"
# A build whose log cannot be written has not succeeded.
if ! write_logs; then
    outputs_gone
    exit 1
fi
exit 0
