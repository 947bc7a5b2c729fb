#!/usr/bin/env bash
# Runs the whole test suite: the native build, then the aarch64 cross build
# with its tests under qemu-aarch64, each as its workflow preset (configure,
# build, test). Fails when any step or test fails, or no test runs.
#
#   scripts/test.sh [preset...]     (default: native aarch64)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

(($# > 0)) || set -- native aarch64
run_workflows tests "$@"
