#!/usr/bin/env bash
# Robustness checks, native, each a workflow preset: the whole suite under
# AddressSanitizer and UBSan (asan), the tests that run threads under
# ThreadSanitizer (tsan), the unload test's cases under valgrind memcheck
# (valgrind), each fuzzer for FUZZ_SECONDS, default 60 (fuzz).
#
#   scripts/robustness.sh [preset...]      (default: asan tsan valgrind fuzz)
#   FUZZ_SECONDS=3600 scripts/robustness.sh fuzz
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

(($# > 0)) || set -- asan tsan valgrind fuzz
run_workflows robustness "$@"
