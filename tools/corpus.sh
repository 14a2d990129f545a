#!/bin/bash
# Builds and runs the public programs of a folder of fetched repositories, to
# count what the runner runs to the end and why the rest stop. Nothing fetched
# is kept in this repository: the sources are read from the git snapshots in
# MIRRORS (one folder a repository, its git directory in MIRRORS/NAME/repo),
# built with the kit into WORK and run there.
#
#   tools/corpus.sh MIRRORS BUILD WORK
#
# BUILD holds the built tree (qvasm, pack8xp, quorvin). A program is a source
# (.z80 .asm .a80 .s) with an `org` and the BB 6D token; the standard
# includes (ti83plus.inc, ion.inc, mirage.inc, dcs7.inc) are taken from
# whichever repository holds them and given to every build as one include
# folder. Each program runs with `--cycles 50000000 --keys
# ENTER,2,ENTER,CLEAR,CLEAR,CLEAR`, as a user trying it would press. WORK/runs.tsv gets one line a
# program: repository, source, built or not, exit status, the reason.
# WORK/routines.tsv counts the programs naming each OS routine
# (`bcall(_Name)`, `b_call(_Name)`, `B_CALL Name`) and each shell routine
# (a `call`/`jp` to a name of mirage.inc's or dcs7.inc's list that the
# program's repository does not define as a label of its own).
set -uo pipefail
[[ $# -eq 3 ]] || { echo "usage: $0 MIRRORS BUILD WORK" >&2; exit 2; }
mirrors=$(realpath "$1") build=$(realpath "$2") work=$3
qvasm=$build/kit/qvasm pack=$build/kit/pack8xp runner=$build/src/quorvin
for tool in "$qvasm" "$pack" "$runner"; do
  [[ -x $tool ]] || { echo "missing $tool: build it first" >&2; exit 2; }
done
rm -rf "$work" && mkdir -p "$work/src" "$work/inc" "$work/out" && work=$(realpath "$work")

for git in "$mirrors"/*/repo; do
  name=$(basename "$(dirname "$git")")
  mkdir -p "$work/src/$name"
  git --git-dir="$git" archive HEAD 2>/dev/null | tar -x -C "$work/src/$name" 2>/dev/null
done
# One copy of each standard include, lower-cased as programs name them.
for inc in ti83plus.inc ion.inc mirage.inc dcs7.inc; do
  found=$(find "$work/src" -iname "$inc" -size +1k | sort | head -1)
  [[ -n $found ]] && cp "$found" "$work/inc/$inc"
done

printf 'repository\tsource\tbuilt\texit\treason\n' >"$work/runs.tsv"
find "$work/src" -type f \( -iname '*.z80' -o -iname '*.asm' -o -iname '*.a80' -o -iname '*.s' \) |
  sort | while read -r src; do
  grep -qiE '^[[:space:]]*\.?org[[:space:]]' "$src" || continue
  grep -qiE 'bb[h]?[[:space:]]*,[[:space:]]*(\$|0x)?6d|\$bb6d|0bb6dh|t2ByteTok' "$src" || continue
  rel=${src#"$work/src/"} repo=${rel%%/*}
  stem=$work/out/$(echo "${rel%.*}" | tr '/ ' '__')
  if ! "$qvasm" -D TI83P -I "$(dirname "$src")" -I "$work/inc" "$src" -o "$stem.bin" >"$stem.log" 2>&1 ||
    ! "$pack" "$stem.bin" "$stem.8xp" PROG >>"$stem.log" 2>&1; then
    printf '%s\t%s\tno\t-\t%s\n' "$repo" "${rel#*/}" "$(grep -m1 -i error "$stem.log" | cut -c1-160)" >>"$work/runs.tsv"
    continue
  fi
  reason=$(QT_QPA_PLATFORM=offscreen timeout 120 "$runner" --run "$stem.8xp" --cycles 50000000 \
    --keys ENTER,2,ENTER,CLEAR,CLEAR,CLEAR 2>&1 >/dev/null | head -1 | cut -c1-200)
  status=${PIPESTATUS[0]}
  printf '%s\t%s\tyes\t%s\t%s\n' "$repo" "${rel#*/}" "$status" "$reason" >>"$work/runs.tsv"
done

# The routines each folder of sources names, counted once a folder.
{
  find "$work/src" -type f \( -iname '*.z80' -o -iname '*.asm' -o -iname '*.a80' -o -iname '*.s' -o -iname '*.inc' \) \
    ! -iname ti83plus.inc ! -iname ion.inc ! -iname mirage.inc ! -iname dcs7.inc -print0 |
    xargs -0 grep -oiHE 'b_?call[[:space:]]*\(?[[:space:]]*_?[A-Za-z0-9_]+' |
    sed -E 's|^([^:]*)/[^/]*:.*b_?call[[:space:]]*\(?[[:space:]]*_?|\1\t_|I'
  shells=$(cat "$work/inc/mirage.inc" "$work/inc/dcs7.inc" 2>/dev/null |
    sed -nE 's/^[[:space:]]*([A-Za-z_][A-Za-z0-9_]*):?[[:space:]]+(=|\.?equ)[[:space:]]*\$?[0-9A-Fa-f]{4}h?.*/\1/Ip' |
    sort -u | paste -sd'|')
  find "$work/src" -type f \( -iname '*.z80' -o -iname '*.asm' -o -iname '*.a80' -o -iname '*.s' \) -print0 |
    xargs -0 grep -oiHE "^[^;]*\b(call|jp)[[:space:]]+(($shells))\b" |
    sed -E "s|^([^:]*)/[^/]*:.*(call\|jp)[[:space:]]+|\1\tshell:|I" |
    while IFS=$'\t' read -r folder name; do
      # A routine of the program's own under a shell routine's name is not the shell's.
      repo=${folder#"$work/src/"} repo=$work/src/${repo%%/*}
      grep -rqiP --include='*.z80' --include='*.asm' --include='*.a80' --include='*.s' --include='*.inc' --exclude='[Tt][Ii]83[Pp]lus.inc' --exclude='[Ii]on.inc' --exclude='[Mm]irage.inc' --exclude='[Dd]cs7.inc' \
        "^\\Q${name#shell:}\\E(:|[ \\t]*+(;|\$)|[ \\t]++(?!\\.?equ\\b|=))" "$repo" ||
        printf '%s\t%s\n' "$folder" "$name"
    done
} | sed "s|^$work/src/||" | sort -u | awk -F'\t' '{ n[tolower($2)]++; name[tolower($2)] = $2 }
  END { for (k in n) printf "%d\t%s\n", n[k], name[k] }' | sort -k1,1nr -k2 >"$work/routines.tsv"

built=$(awk -F'\t' 'NR > 1 && $3 == "yes"' "$work/runs.tsv" | wc -l)
ended=$(awk -F'\t' 'NR > 1 && $4 == "0"' "$work/runs.tsv" | wc -l)
all=$(($(wc -l <"$work/runs.tsv") - 1))
echo "$all programs, $built built, $ended ran to their end; $work/runs.tsv, $work/routines.tsv"
