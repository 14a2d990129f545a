# Installs the Debian packages that building, running and testing need, when
# any is missing. Sourced by run.sh and test.sh.
quorvin_packages="cmake make g++ dpkg-dev pkg-config qt6-base-dev libqscintilla2-qt6-dev libxcb1-dev fonts-dejavu-core pasmo libtifiles-dev z80dasm libz80ex-dev"

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
quorvin_build() {
    local dir="$1" type="$2"
    shift 2
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
    local targets=()
    for t in ${QUORVIN_TARGETS:-}; do targets+=(--target "$t"); done
    cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
}

# Debian's hardening flags as CMake options in the array debian_flags, so that
# a build keeps them however it was configured before.
quorvin_debian_flags() {
    debian_flags=("-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
        "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)")
}
