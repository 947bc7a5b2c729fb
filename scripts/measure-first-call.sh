#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Times a process's first forwarded call against loading the implementation
# by hand, over fresh processes.
#
#   scripts/measure-first-call.sh [build-dir [samples]]   (default build/native, 101)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

prepare_benchmarks "${1:-}" trelvo-first-call
run_as_client "$(benchmark_program trelvo-first-call)" "${2:-101}"
