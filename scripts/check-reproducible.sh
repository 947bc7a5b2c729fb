#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Builds the last commit twice, as Debian checks it, in directories of
# different names: the source package with dpkg-buildpackage (without the
# suite), and the front end and trelvo-doctor in RelWithDebInfo build trees
# outside the sources. Fails unless the .debs, the -dbgsym ones included, and
# the unstripped binaries of the two builds are byte-identical.
set -euo pipefail
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"
make_work_dir check-reproducible
readonly BINARIES=(libTrelvo_aarch64.so trelvo-doctor libTrelvoDoctorProbe_aarch64.so)

# The front end and trelvo-doctor, configured from the unpacked sources into a
# build tree beside them.
build_out_of_tree() {
    local source=$1 build=$2 binary
    announce "RelWithDebInfo build of $source in $build"
    cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELVO_BUILD_TESTS=OFF \
        -DTRELVO_BUILD_EXAMPLES=OFF -DTRELVO_BUILD_BENCHMARKS=OFF >/dev/null
    cmake --build "$build" >/dev/null
    mkdir "$build-binaries"
    for binary in "${BINARIES[@]}"; do cp "$build/$binary" "$build-binaries/"; done
}

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
export DEB_BUILD_OPTIONS=nocheck
build_source_package "$WORK/one" "libtrelvo-$UPSTREAM_VERSION" >/dev/null
build_source_package "$WORK/another" "a-copy-of-the-sources" >/dev/null
for dir in one another; do
    mkdir "$WORK/$dir-debs" && mv "$WORK/$dir"/*.deb "$WORK/$dir-debs/"
done
diff -r "$WORK/one-debs" "$WORK/another-debs" || die "two package builds of the last commit differ"
announce "Identical packages: $(cd "$WORK/one-debs" && echo *)"

build_out_of_tree "$WORK/one/libtrelvo-$UPSTREAM_VERSION" "$WORK/one/build"
build_out_of_tree "$WORK/another/a-copy-of-the-sources" "$WORK/another/elsewhere"
diff -r "$WORK/one/build-binaries" "$WORK/another/elsewhere-binaries" ||
    die "two out-of-tree builds of the last commit differ"
announce "Identical binaries with debug information: ${BINARIES[*]}"
