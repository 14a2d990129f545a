#!/bin/sh
# asm.bat NAME: builds a program into ~/Asm/Exec/NAME.8xp.
#
# The source is the file QUORVIN_SOURCE names (the editor sets it to the file
# being edited, just saved); run by hand, NAME.z80 or NAME.asm in the working
# folder, then in ~/Asm/Source. tasm2pasmo first turns the classic
# assembler's dialect (#include, #define, .org, .db, left-to-right
# expressions, ...) into pasmo's; pasmo assembles the result; pack8xp makes the
# calculator's program file. Messages name the user's own file and line; they
# and a last line that says how the build went go to ~/Asm/TASM/error.log.
# Exits 0 when NAME.8xp was written.

name=$1
root="$HOME/Asm"
log="$root/TASM/error.log"
out="$root/Exec/$name.8xp"
here=$(dirname "$0")

# Folders searched for include files after the source's own folder and the
# usual project folders beside it (include, inc, src, the folder above...).
# Add your own after a ':', for example "$root/TASM:$HOME/calc/include".
include_folders="$root/TASM"

mkdir -p "$root/TASM" "$root/Exec" || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/asm.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
: > "$work/log"

say() { printf '%s\n' "$*" >> "$work/log"; }
finish() {
    cp "$work/log" "$log.tmp.$$" && mv -f "$log.tmp.$$" "$log"
    exit "$1"
}
fail() {
    [ -n "$*" ] && say "$*"
    say "Build failed: no program was written."
    finish 1
}

# A failed build leaves no program from an earlier one behind.
rm -f -- "$out"

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

pasmo=$(command -v pasmo) || fail "error: the assembler pasmo is not installed (sudo apt-get install pasmo)"
# A helper program of the kit: next to this script, else on PATH.
helper() {
    if [ -x "$here/$1" ]; then
        printf '%s\n' "$here/$1"
    else
        command -v "$1" || fail "error: $1 is not next to asm.bat or on PATH"
    fi
}
translator=$(helper tasm2pasmo) || exit 1
packer=$(helper pack8xp) || exit 1

say "Assembling $src"
set --
old_ifs=$IFS
IFS=:
for folder in $include_folders; do
    [ -n "$folder" ] && set -- "$@" -I "$folder"
done
IFS=$old_ifs
"$translator" "$@" "$src" "$work/program.asm" "$work/program.map" >> "$work/log" 2>&1 || fail

# pasmo names an error in two lines ("ERROR on line 4 of file program.asm",
# then "ERROR: text"); they become one line "hello.z80:4: error: text", the
# line map leading back from the translated text to the user's file.
(cd "$work" && "$pasmo" --bin program.asm program.bin) > "$work/pasmo" 2>&1
status=$?
awk '
    NR == FNR {
        split($0, origin, "\t")
        mapfile[NR] = origin[1]
        mapline[NR] = origin[2]
        next
    }
    /^(ERROR|WARNING) on line [0-9]+ of file / {
        kind = ($1 == "ERROR") ? "error" : "warning"
        line = $4
        file = substr($0, index($0, " of file ") + 9)
        if (file == "program.asm" && (line in mapfile)) {
            file = mapfile[line]
            line = mapline[line]
        }
        pending = 1
        next
    }
    pending && /^(ERROR|WARNING): / {
        print file ":" line ": " kind ": " substr($0, index($0, ": ") + 2)
        pending = 0
        next
    }
    {
        if (pending) print file ":" line ": " kind
        pending = 0
        print
    }
    END { if (pending) print file ":" line ": " kind }
' "$work/program.map" "$work/pasmo" >> "$work/log"

if [ "$status" -ne 0 ] || [ ! -f "$work/program.bin" ]; then
    fail
fi

"$packer" "$work/program.bin" "$work/program.8xp" "$name" >> "$work/log" 2>&1 ||
    fail "Packing the program failed."
mv -f "$work/program.8xp" "$out" || fail "error: cannot write $out"
size=$(wc -c < "$work/program.bin" | tr -d ' ')
say "Build succeeded: $out, $size bytes of program."
finish 0
