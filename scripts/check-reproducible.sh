#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Builds the last commit twice with the native preset: from a clone, and
# from its files alone, without git, as a source tarball has them, in
# directories of different names. Fails unless the stripped front ends and the
# Debian packages of the two builds are byte-identical.
set -euo pipefail
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"
make_work_dir check-reproducible

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
git clone --quiet "$TRELVO_SOURCE_DIR" "$WORK/clone"
mkdir "$WORK/files-without-git"
git -C "$WORK/clone" archive HEAD | tar -x -C "$WORK/files-without-git"
for tree in "$WORK/clone" "$WORK/files-without-git"; do
    announce "Build the last commit in $tree"
    (cd "$tree" && cmake --preset native -B build -DTRELVO_BUILD_TESTS=OFF >/dev/null &&
        cmake --build build >/dev/null && cpack --config build/CPackConfig.cmake -B out >/dev/null &&
        rm -r out/_CPack_Packages && strip -o out/libTrelvo_aarch64.so build/libTrelvo_aarch64.so)
done
diff -r "$WORK/clone/out" "$WORK/files-without-git/out" || die "two builds of the last commit differ"
announce "Identical: $(cd "$WORK/clone/out" && echo *)"
