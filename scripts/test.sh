#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Runs workflow presets, every one even after another failed.
#   scripts/test.sh                           native, and on x86-64 aarch64 under qemu-aarch64
#   scripts/test.sh clang                     built by clang
#   scripts/test.sh asan tsan valgrind fuzz   the robustness checks (FUZZ_SECONDS, default 60)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

defaults=(native aarch64) && [[ $(uname -m) != aarch64 ]] || defaults=(native)
(($# > 0)) || set -- "${defaults[@]}"
"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
cd "$TRELVO_SOURCE_DIR"
results=() status=0
for preset in "$@"; do
    announce "Workflow '$preset': configure, build, test"
    started=$SECONDS result=passed
    cmake --workflow --preset "$preset" || result=FAILED status=1
    results+=("$preset: $result in $((SECONDS - started)) s")
done
announce Summary
printf '%s\n' "${results[@]}"
exit $status
