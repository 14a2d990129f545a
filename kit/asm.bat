#!/bin/sh
# asm.bat NAME: builds NAME.z80 (or NAME.asm) into ~/Asm/Exec/NAME.8xp.
#
# The source is looked for in the working folder (the editor starts the script
# in the folder of the file being edited), then in ~/Asm/Source. tasm2pasmo
# first turns the classic assembler's dialect (#include, #define, .org, .db,
# left-to-right expressions, ...) into pasmo's; include files are found next
# to the source, then in ~/Asm/TASM. pasmo assembles the result. Messages name
# the user's own file and line; they and a last line that says how the build
# went go to ~/Asm/TASM/error.log. Exits 0 when NAME.8xp was written.

name=$1
root="$HOME/Asm"
log="$root/TASM/error.log"
out="$root/Exec/$name.8xp"
here=$(dirname "$0")

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
    say "$*"
    say "Build failed: no program was written."
    finish 1
}

# A failed build leaves no program from an earlier one behind.
rm -f -- "$out"

[ -n "$name" ] || fail "error: no program name was given"

src=""
for dir in . "$root/Source"; do
    for ext in z80 asm; do
        if [ -z "$src" ] && [ -f "$dir/$name.$ext" ]; then
            src="$dir/$name.$ext"
        fi
    done
done
[ -n "$src" ] || fail "error: no source $name.z80 or $name.asm in $(pwd) or $root/Source"

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
srcdir=$(dirname "$src")
srcfile=$(basename "$src")
(cd "$srcdir" && "$translator" -I "$root/TASM" "$srcfile" "$work/program.asm" "$work/program.map") \
    >> "$work/log" 2>&1 || fail "Build failed: no program was written."

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
    say "Build failed: no program was written."
    finish 1
fi

"$packer" "$work/program.bin" "$work/program.8xp" "$name" >> "$work/log" 2>&1 ||
    fail "Packing the program failed."
mv -f "$work/program.8xp" "$out" || fail "error: cannot write $out"
size=$(wc -c < "$work/program.bin" | tr -d ' ')
say "Build succeeded: $out, $size bytes of program."
finish 0
