#!/usr/bin/env bash
# Puts the default toolchain into ~/Asm: asm.bat, the packer, the templates,
# and empty Source and Exec folders. A file already there is never replaced.
# Usage: tools/install-kit.sh KITBUILD   (the folder with the built kit programs)
set -euo pipefail
cd "$(dirname "$0")/.."
kitbuild=$1
root="$HOME/Asm"
mkdir -p "$root/TASM/Templates" "$root/Source" "$root/Exec"
copy_new() { [ -e "$2" ] || [ -L "$2" ] || cp "$1" "$2"; }
copy_new kit/asm.bat "$root/asm.bat"
copy_new "$kitbuild/pack8xp" "$root/pack8xp"
copy_new "$kitbuild/tasm2pasmo" "$root/tasm2pasmo"
for t in kit/Templates/*.txt; do
    copy_new "$t" "$root/TASM/Templates/$(basename "$t")"
done
# The settings: no link program yet; the emulator when Debian's tilem2 is there.
if [ ! -e "$root/TASM/config.ini" ]; then
    emulator=""
    if command -v tilem2 >/dev/null 2>&1; then emulator=tilem2; fi
    printf '\r\n%s\r\n' "$emulator" > "$root/TASM/config.ini"
fi
