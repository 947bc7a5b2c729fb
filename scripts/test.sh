#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Runs workflow presets (configure, build, test) and sums up their tests.
# Fails when any step or test fails, or no test runs.
#
#   scripts/test.sh                        the whole suite: native, then on x86-64 also
#                                          aarch64 under qemu-aarch64
#   scripts/test.sh clang debian           built by clang, and with Debian's packaging flags
#   scripts/test.sh asan tsan valgrind fuzz    the robustness checks (FUZZ_SECONDS, default 60)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# On a 64-bit Arm machine the native build is the aarch64 build.
if (($# == 0)); then
    set -- native
    [[ $(uname -m) == aarch64 ]] || set -- native aarch64
fi
run_workflows tests "$@"
