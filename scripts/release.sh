#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The release of HEAD in dist/: the source tarball, and the aarch64 binary
# tarball, built and tested in a fresh Debian 11 root, then checked. As root.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

version=$(sed -n 's/^project(Trelvo VERSION \([0-9.]*\).*/\1/p' "$TRELVO_SOURCE_DIR/CMakeLists.txt")
readonly SOURCE=libtrelvo-$version BINARY=libtrelvo-$version-linux-aarch64
readonly DIST=$TRELVO_SOURCE_DIR/dist WORK=$TRELVO_SOURCE_DIR/build/release

# In the root: both builds, their suites, then the cross build installed.
build_and_test() {
    local source=/build/$1 tree options=() status=0
    tar -C /build -xzf "$source.tar.gz"
    "$source/scripts/install-deps.sh" pkg.libtrelvo.presets >/dev/null
    for tree in native aarch64; do
        # The release's library directory is named, and it carries no shared C++ runtime.
        [[ $tree == native ]] || options=(-DCMAKE_TOOLCHAIN_FILE="$source/cmake/toolchain-aarch64.cmake" \
            -DCMAKE_INSTALL_PREFIX=/usr/local -DCMAKE_INSTALL_LIBDIR:PATH=lib -DTRELVO_TOOLS_PRIVATE_CXX_RUNTIME=ON)
        echo "==== Debian 11: configure, build and test /build/$tree"
        { cmake -S "$source" -B "/build/$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELVO_WARNINGS_AS_ERRORS=ON "${options[@]}" &&
            cmake --build "/build/$tree" && (cd "/build/$tree" && ctest --output-on-failure --no-tests=error -j2); } || status=1
    done
    ((status == 0)) && DESTDIR=/build/stage cmake --install /build/aarch64 --strip >/dev/null
}

# The tarball of the staged prefix, with the licence and the README.
pack_binaries() {
    local prefix=$WORK/$BINARY file
    mv "$WORK/stage/usr/local" "$prefix"
    for file in lib/libTrelvo_aarch64.so bin/trelvo-doctor lib/libTrelvoDoctorProbe_aarch64.so include/trelvo/Trelvo.h \
        lib/pkgconfig/trelvo.pc lib/cmake/Trelvo/TrelvoConfig.cmake share/man/man1/trelvo-doctor.1; do
        [[ -f $prefix/$file ]] || die "the install left no $file in the release"
    done
    ! grep /usr/local "$prefix/lib/pkgconfig/trelvo.pc" || die "trelvo.pc names /usr/local, so the tree cannot serve where it is unpacked"
    install -D -m 644 -t "$prefix/share/doc/libtrelvo" "$TRELVO_SOURCE_DIR/LICENSE"
    install -m 644 "$TRELVO_SOURCE_DIR/docs/release-README.md" "$prefix/share/doc/libtrelvo/README.md"
    # Fixed order, owners and times: the same commit gives the same tarball.
    tar -C "$WORK" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$(git -C "$TRELVO_SOURCE_DIR" log -1 --format=%ct)" \
        -cf - "$BINARY" | gzip -9n >"$DIST/$BINARY.tar.gz"
}

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
rm -rf "$WORK" && mkdir -p "$WORK/unpacked/consumers" "$DIST"
trap 'rm -rf "$WORK"' EXIT
git -C "$TRELVO_SOURCE_DIR" archive --prefix="$SOURCE/" HEAD | gzip -9n >"$DIST/$SOURCE.tar.gz"
cp "$DIST/$SOURCE.tar.gz" "$WORK/"
root() { "$TRELVO_SOURCE_DIR/scripts/debian-root.sh" "$@"; }
root run "$(root tarball bullseye amd64)" --bind "$WORK:/build" -- \
    bash -euo pipefail -c "$(declare -f build_and_test); build_and_test $SOURCE" || die "the Debian 11 builds or tests failed"
pack_binaries
announce "$DIST/$BINARY.tar.gz unpacked: its binaries, and consumers built against it"
tar -C "$WORK/unpacked" -xzf "$DIST/$BINARY.tar.gz"
cmake -DREADELF=readelf -DMACHINE=AArch64 -DGLIBC_MAX=2.17 -DTREE="$WORK/unpacked/$BINARY" \
    "-DNEEDED=libc.so.6;ld-linux-aarch64.so.1;libdl.so.2;libpthread.so.0" -P "$TRELVO_SOURCE_DIR/tests/build/CheckElf.cmake"
aarch64_emulator
(cd "$TRELVO_SOURCE_DIR" && AUTOPKGTEST_TMP=$WORK/unpacked/consumers TRELVO_PREFIX=$WORK/unpacked/$BINARY \
    TRELVO_TRIPLET=aarch64-linux-gnu TRELVO_EMULATOR="${AARCH64_EMULATOR[*]}" debian/tests/consumers)
announce "Released: $(cd "$DIST" && echo "$SOURCE.tar.gz" "$BINARY.tar.gz")"
