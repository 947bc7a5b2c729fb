#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Runs workflow presets (configure, build, test; CTest sums up each), every
# one even after another failed; fails when any did.
#
#   scripts/test.sh                           native, and on x86-64 aarch64 under qemu-aarch64
#   scripts/test.sh clang debian              built by clang; with Debian's packaging flags
#   scripts/test.sh asan tsan valgrind fuzz   the robustness checks (FUZZ_SECONDS, default 60)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if (($# == 0)); then
    set -- native
    [[ $(uname -m) == aarch64 ]] || set -- native aarch64
fi
"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
cd "$TRELVO_SOURCE_DIR"
results=() status=0
for preset in "$@"; do
    announce "Workflow '$preset': configure, build, test"
    started=$SECONDS result=passed
    # debian: Debian's flags, CPPFLAGS folded in as debhelper does.
    (if [[ $preset == debian ]]; then
        eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
        export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
    fi && cmake --workflow --preset "$preset") || result=FAILED status=1
    results+=("$preset: $result in $((SECONDS - started)) s")
done
announce Summary
printf '%s\n' "${results[@]}"
exit $status
