#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Builds the last commit twice with the native preset, from clones in two
# directories, and fails unless the stripped front ends and the Debian
# packages of the two builds are byte-identical.
set -euo pipefail
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"
make_work_dir check-reproducible

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
for clone in "$WORK/first" "$WORK/second-build"; do
    announce "Build the last commit in $clone"
    git clone --quiet "$TRELVO_SOURCE_DIR" "$clone"
    (cd "$clone" && cmake --preset native -B build -DTRELVO_BUILD_TESTS=OFF >/dev/null &&
        cmake --build build >/dev/null && cpack --config build/CPackConfig.cmake -B out >/dev/null &&
        rm -r out/_CPack_Packages && strip -o out/libTrelvo_aarch64.so build/libTrelvo_aarch64.so)
done
diff -r "$WORK/first/out" "$WORK/second-build/out" || die "two builds of the last commit differ"
announce "Identical: $(cd "$WORK/first/out" && echo *)"
