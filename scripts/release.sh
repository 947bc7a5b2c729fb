#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Makes the release of the commit checked out (HEAD) in dist/:
#   libtrelvo-VERSION.tar.gz                the source, by git archive
#   libtrelvo-VERSION-linux-aarch64.tar.gz  the aarch64 build, laid out as the
#                                           install prefix /usr/local
# Both come out of a Debian 11 root (debian-root.sh), where the source
# tarball is unpacked without git. There the whole suite must pass natively
# (g++ 10, CMake 3.18) and in the aarch64 cross build under qemu-aarch64 with
# Debian 11's arm64 C library; the binary tarball is installed from that
# tested cross build, and each of its binaries must then load with glibc 2.17
# (check-portable-binaries.sh); its trelvo.pc finds the prefix from where it
# lies, and a client built through it against the tarball unpacked in any
# directory must run. The test runs end with the summary line
# "debian11: N passed, M failed, K skipped". Needs root.
#
#   scripts/release.sh                 the whole release, in dist/
#   scripts/release.sh --source DIR    the source tarball alone, in DIR (the
#                                      Debian source package's upstream tarball)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

readonly DEBIAN11_PACKAGES=(
    cmake ninja-build g++                 # native build
    g++-aarch64-linux-gnu                 # cross build for 64-bit Arm ...
    binutils-aarch64-linux-gnu            # ... its linker and binary tools
    libc6-dev-arm64-cross                 # ... and its C library (glibc 2.31)
    qemu-user                             # runs the aarch64 tests (qemu-aarch64)
    googletest libbenchmark-dev           # GoogleTest sources; Google Benchmark
    nlohmann-json3-dev                    # JSON for trelvo-doctor
    file binutils pkgconf dpkg-dev        # checks of the binaries
    devscripts abigail-tools              # hardening-check; abidw, abidiff
)
# What the binary release must hold, in its prefix, besides its documents.
readonly RELEASED_FILES=(
    lib/libTrelvo_aarch64.so bin/trelvo-doctor lib/libTrelvoDoctorProbe_aarch64.so
    include/trelvo/Trelvo.h lib/pkgconfig/trelvo.pc lib/cmake/Trelvo/TrelvoConfig.cmake
    share/man/man1/trelvo-doctor.1
)
# Inside the prefix too, so that unpacking it into /usr/local puts nothing
# at the top of /usr/local.
readonly RELEASED_DOCS=share/doc/libtrelvo
# trelvo.pc names its prefix relative to itself, so that the tree serves
# wherever it is unpacked.
# shellcheck disable=SC2016 # pkg-config's variable, not the shell's
readonly RELOCATABLE_PREFIX='prefix=${pcfiledir}/../..'

readonly ROOT=$TRELVO_SOURCE_DIR/build/debian11
DIST=$TRELVO_SOURCE_DIR/dist
VERSION=$(sed -n 's/^project(Trelvo VERSION \([0-9.]*\).*/\1/p' "$TRELVO_SOURCE_DIR/CMakeLists.txt")
readonly VERSION
readonly SOURCE_NAME=libtrelvo-$VERSION BINARY_NAME=libtrelvo-$VERSION-linux-aarch64
# Paths inside the root.
readonly SOURCE=/build/$SOURCE_NAME STAGE=/build/stage

in_root() { "$TRELVO_SOURCE_DIR/scripts/debian-root.sh" run "$ROOT" -- "$@"; }

# Files packed in a fixed order with fixed owners and times, so that the same
# commit gives the same tarball.
pack() {
    local dir=$1 name=$2 output=$3
    tar -C "$dir" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
        -cf - "$name" | gzip -9n >"$output"
}

make_source_tarball() {
    announce "Source: $DIST/$SOURCE_NAME.tar.gz"
    [[ -z $(git -C "$TRELVO_SOURCE_DIR" status --porcelain --untracked-files=no) ]] ||
        echo "note: uncommitted changes are not in the release, which is made from HEAD"
    git -C "$TRELVO_SOURCE_DIR" archive --format=tar --prefix="$SOURCE_NAME/" HEAD |
        gzip -9n >"$DIST/$SOURCE_NAME.tar.gz"
}

# Configures the unpacked source into the root's build tree named, with the
# cache settings given, builds it and runs its suite.
# shellcheck disable=SC2016 # ctest's directory is expanded in the root
build_and_test() {
    local tree=/build/$1 started=$SECONDS status=0
    shift
    announce "Debian 11 root: configure, build and test $tree"
    in_root cmake -S "$SOURCE" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTRELVO_WARNINGS_AS_ERRORS=ON "$@" &&
        in_root cmake --build "$tree" &&
        in_root sh -c 'cd "$1" && ctest --output-on-failure --no-tests=error -j2' ctest "$tree" ||
        status=$?
    timings+=("$tree: $((SECONDS - started)) s")
    return $status
}

# The tested cross build, installed into the prefix /usr/local and stripped,
# with the licence and the README.
make_binary_tarball() {
    local prefix=$ROOT$STAGE/$BINARY_NAME
    announce "aarch64 binaries: $DIST/$BINARY_NAME.tar.gz"
    in_root env DESTDIR=$STAGE cmake --install /build/aarch64 --strip >/dev/null
    mv "$ROOT$STAGE/usr/local" "$prefix"
    for file in "${RELEASED_FILES[@]}"; do
        [[ -f $prefix/$file ]] || die "the install left no $file in the release"
    done
    relocate_pkgconfig "$prefix/lib/pkgconfig/trelvo.pc"
    mkdir -p "$prefix/$RELEASED_DOCS"
    cp "$TRELVO_SOURCE_DIR/LICENSE" "$prefix/$RELEASED_DOCS/LICENSE"
    cp "$TRELVO_SOURCE_DIR/docs/release-README.md" "$prefix/$RELEASED_DOCS/README.md"
    pack "$ROOT$STAGE" "$BINARY_NAME" "$DIST/$BINARY_NAME.tar.gz"
}

# Replaces the installed prefix /usr/local; every other path of the file
# must be relative to it.
relocate_pkgconfig() {
    sed -i "s|^prefix=/usr/local\$|$RELOCATABLE_PREFIX|" "$1"
    if ! grep -qxF "$RELOCATABLE_PREFIX" "$1" || grep -q /usr/local "$1"; then
        die "trelvo.pc is not relative to its prefix /usr/local:"$'\n'"$(cat "$1")"
    fi
}

# The binary tarball unpacked in a directory of no meaning: a C client built
# against it through pkg-config finds the front end there, and the front end
# the sample implementation (under the emulator).
check_unpacked_anywhere() {
    local dir prefix pkgconfig
    dir=$(mktemp -d "$TRELVO_SOURCE_DIR/build/unpacked.XXXXXX")
    announce "The binary tarball unpacked in $dir, built against through pkg-config"
    tar -C "$dir" -xzf "$DIST/$BINARY_NAME.tar.gz"
    prefix=$dir/$BINARY_NAME
    pkgconfig=(env PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" pkg-config)
    aarch64-linux-gnu-gcc -shared -fPIC -fvisibility=hidden -o "$dir/libVeltApi_aarch64.so" \
        "$TRELVO_SOURCE_DIR/examples/sample-implementation/VeltApiSample.c"
    # shellcheck disable=SC2046 # the flags are words
    aarch64-linux-gnu-gcc -std=c99 -Wall -Wextra -Werror -pedantic $("${pkgconfig[@]}" --cflags trelvo) \
        "$TRELVO_SOURCE_DIR/tests/install/consumer.c" -o "$dir/consumer" $("${pkgconfig[@]}" --libs trelvo) \
        -Wl,-rpath,"$("${pkgconfig[@]}" --variable=libdir trelvo)"
    (cd "$dir" && env -i PATH="$PATH" HOME="$dir" VELT_PATH="$dir" \
        "${AARCH64_EMULATOR[@]}" ./consumer "$dir/libVeltApi_aarch64.so")
    rm -rf "$dir"
}

main() {
    local timings=() failed=()
    if [[ ${1:-} == --source ]]; then
        DIST=${2:?--source needs a directory}
        make_source_tarball
        return
    fi
    "$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
    SOURCE_DATE_EPOCH=$(git -C "$TRELVO_SOURCE_DIR" log -1 --format=%ct)
    mkdir -p "$DIST"
    make_source_tarball
    "$TRELVO_SOURCE_DIR/scripts/debian-root.sh" make bullseye "$ROOT" "${DEBIAN11_PACKAGES[@]}"
    rm -rf "$ROOT/build"
    mkdir -p "$ROOT/build"
    tar -C "$ROOT/build" -xzf "$DIST/$SOURCE_NAME.tar.gz"

    build_and_test native || failed+=(native)
    # The release's own settings: its library directory named, so that no
    # change of the defaults moves files in the tarball, and no shared C++
    # runtime in any binary.
    build_and_test aarch64 -DCMAKE_TOOLCHAIN_FILE="$SOURCE/cmake/toolchain-aarch64.cmake" \
        -DCMAKE_INSTALL_PREFIX=/usr/local -DCMAKE_INSTALL_LIBDIR:PATH=lib \
        -DTRELVO_TOOLS_PRIVATE_CXX_RUNTIME=ON || failed+=(aarch64)
    announce "Summary"
    printf '%s\n' "${timings[@]}" ${failed[0]:+"FAILED: ${failed[*]}"}
    if ! summarize_tests debian11 native "$ROOT/build/native/$CTEST_LOG" \
        aarch64 "$ROOT/build/aarch64/$CTEST_LOG" ||
        ((${#failed[@]} > 0)); then
        die "no binary release: the Debian 11 builds or tests failed"
    fi

    make_binary_tarball
    "$TRELVO_SOURCE_DIR/scripts/check-portable-binaries.sh" "$DIST/$BINARY_NAME.tar.gz"
    check_unpacked_anywhere
    announce "Released: $(cd "$DIST" && echo "$SOURCE_NAME.tar.gz" "$BINARY_NAME.tar.gz")"
}

main "$@"
