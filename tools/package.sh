#!/usr/bin/env bash
# Builds the Debian package into _build-package with Debian's build flags, or
# from the build in QUORVIN_PACKAGE_BUILD when the test command already built
# it with those flags.
# With --check it also validates the desktop entry, the AppStream metadata and
# the MIME type, lists the package and looks for every file, runs lintian
# (errors fail), and unpacks the package into a temporary root to start the
# installed editor with a temporary HOME and build the hello template with
# the kit it set up.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
quorvin_install_missing $quorvin_package_check_packages
dir=${QUORVIN_PACKAGE_BUILD:-_build-package}
if [ "$dir" = _build-package ]; then
    QUORVIN_TARGETS="quorvin kit_stage packaging_files" quorvin_build_main _build-package \
        -DBUILD_TESTING=OFF
else
    QUORVIN_TARGETS="quorvin kit_stage packaging_files" quorvin_build_main "$dir"
fi
rm -f "$dir"/quorvin_*.deb
(cd "$dir" && cpack -G DEB > cpack.log) || { cat "$dir/cpack.log"; exit 1; }
deb=$(ls "$dir"/quorvin_*.deb)
echo "package: $deb"
[ "${1:-}" = --check ] || exit 0

desktop-file-validate packaging/net.quorvin.Quorvin.desktop
appstreamcli validate --no-net packaging/net.quorvin.Quorvin.metainfo.xml
xmllint --noout packaging/quorvin-mime.xml
mime=$(mktemp -d)
mkdir -p "$mime/packages" && cp packaging/quorvin-mime.xml "$mime/packages/"
! update-mime-database "$mime" 2>&1 | grep -i "error\|warning\|invalid"
grep -q "text/x-z80-asm" "$mime/globs2"
rm -rf "$mime"

listing=$(dpkg-deb -c "$deb")
for f in usr/bin/quorvin usr/lib/quorvin/kit/asm.bat usr/lib/quorvin/kit/qvasm \
    usr/lib/quorvin/kit/pack8xp usr/lib/quorvin/kit/shipped.txt usr/lib/quorvin/kit/VERSION \
    usr/lib/quorvin/kit/Templates/hello.txt usr/lib/quorvin/kit/Templates/getkey.txt \
    usr/lib/quorvin/kit/Templates/empty.txt usr/share/applications/net.quorvin.Quorvin.desktop \
    usr/share/icons/hicolor/scalable/apps/net.quorvin.Quorvin.svg \
    usr/share/icons/hicolor/48x48/apps/net.quorvin.Quorvin.png \
    usr/share/metainfo/net.quorvin.Quorvin.metainfo.xml usr/share/mime/packages/quorvin.xml \
    usr/share/man/man1/quorvin.1.gz usr/share/doc/quorvin/copyright \
    usr/share/doc/quorvin/changelog.gz; do
    grep -q " \./$f\$" <<< "$listing" || { echo "missing from the package: $f"; exit 1; }
done
! dpkg-deb -f "$deb" Depends | grep -q pasmo
dpkg-deb -f "$deb" Depends | grep -q libz80ex1
twice=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*//; s/ //g' | sort | uniq -d)
[ -z "$twice" ] || { echo "named twice in Depends: $twice"; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q "tilem, tilp2"
echo "every file is in the package; it depends on: $(dpkg-deb -f "$deb" Depends)"

lintian --fail-on error,warning --tag-display-limit 0 "$deb" || { echo "lintian found errors"; exit 1; }

# The installed editor, started with an empty HOME, sets up ~/Asm; the hello
# template then builds with the kit it set up.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root/pkg"
mkdir -p "$root/home"
"$root/pkg/usr/bin/quorvin" --version
HOME="$root/home" QT_QPA_PLATFORM=offscreen "$root/pkg/usr/bin/quorvin" &
editor=$!
for _ in $(seq 1 300); do
    [ -f "$root/home/Asm/TASM/.kit-version" ] && break
    sleep 0.1
done
kill "$editor"
wait "$editor" || true
test -x "$root/home/Asm/asm.bat"
cp "$root/home/Asm/TASM/Templates/hello.txt" "$root/home/Asm/Source/hello.z80"
(cd "$root/home/Asm/Source" &&
    HOME="$root/home" QUORVIN_SOURCE="$root/home/Asm/Source/hello.z80" "$root/home/Asm/asm.bat" hello)
tail -n 1 "$root/home/Asm/TASM/error.log"
program=$(od -An -tx1 -v "$root/home/Asm/Exec/hello.8xp" | tr -d ' \n')
[ "${program:0:16}" = "2a2a54493833462a" ] # "**TI83F*"
[ "${program:148:$((29 * 2))}" = "bb6def4045ef584521a29def0a45c948656c6c6f2c20776f726c642100" ]
read -r -a bytes <<< "$(od -An -tu1 -v "$root/home/Asm/Exec/hello.8xp" | tr '\n' ' ')"
n=${#bytes[@]} sum=0
for ((i = 55; i < n - 2; i++)); do sum=$((sum + bytes[i])); done
[ $((sum & 0xFFFF)) -eq $((bytes[n - 2] + 256 * bytes[n - 1])) ] # the checksum
echo "the installed editor set up ~/Asm, and the hello template built a valid program"
