# Installs the Debian packages that building, running and testing need, when
# any is missing. Sourced by run.sh and test.sh.
quorvin_packages="cmake ninja-build g++ lld dpkg-dev pkg-config qt6-base-dev libqscintilla2-qt6-dev libxcb1-dev fonts-dejavu-core pasmo libtifiles-dev z80dasm libz80ex-dev"
# What the package's checks run (tools/package.sh --check).
quorvin_package_check_packages="lintian desktop-file-utils appstream libxml2-utils librsvg2-bin shared-mime-info"

quorvin_install_missing() {
    local missing=""
    for p in $quorvin_packages "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $p"
        fi
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

# quorvin_build DIR TYPE [CMAKE OPTIONS...]; QUORVIN_TARGETS limits what is built.
# Builds use Ninja; a folder configured before for another generator is
# configured afresh (its cache names the generator it was made for).
quorvin_build() {
    local dir="$1" type="$2"
    shift 2
    if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx "CMAKE_GENERATOR:INTERNAL=Ninja" "$dir/CMakeCache.txt"; then
        rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
    fi
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
    local targets=()
    for t in ${QUORVIN_TARGETS:-}; do targets+=("$t"); done
    ninja -C "$dir" -j"$(nproc)" "${targets[@]}"
}

# Debian's hardening flags as CMake options in the array debian_flags, so that
# a build keeps them however it was configured before.
# Debug information is left out (-g0 after Debian's -g): it took a quarter of
# the build's processor time, and the package ships without it.
# Programs are linked with lld: it links a test program in a fifth of the
# processor time of the default linker (and a sanitized one in a third).
quorvin_debian_flags() {
    debian_flags=("-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS) -g0"
        "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS) -fuse-ld=lld")
}

# The build the run command starts and the test command tests and packages:
# both configure _build alike, so one after the other rebuilds nothing.
# quorvin_build_main [DIR [CMAKE OPTIONS...]]: _build unless told; the package
# script builds with the same options, so that it rebuilds nothing after it.
quorvin_build_main() {
    local dir="${1:-_build}"
    shift $(($# > 0 ? 1 : 0))
    quorvin_debian_flags
    quorvin_build "$dir" Release "${debian_flags[@]}" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" "$@"
}

# The sanitized build (clang, ASan, LSan, UBSan) that also holds the fuzz
# targets, for the test command and the fuzzing script alike. Its debug
# information is line tables only: a sanitizer's report still names file and
# line of every frame, and clang compiles it in about a tenth less time. It
# links with lld as the main build does.
quorvin_build_sanitized() {
    quorvin_build _build-asan Debug -DQUORVIN_SANITIZE=ON -DQUORVIN_FUZZ=ON -DQUORVIN_UNITY=OFF \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only \
        -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld
}
