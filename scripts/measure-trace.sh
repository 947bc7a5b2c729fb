#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Times a traced call with Google Benchmark against a direct one, the trace
# written as text, then as JSON, to a temporary file. Extra arguments go to
# the benchmark (e.g. --benchmark_repetitions=5).
#
#   scripts/measure-trace.sh [build-dir [benchmark flags...]]   (default build/native)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

prepare_benchmarks "${1:-}" trelvo-trace-benchmark
shift || true
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
run_as_client "$(benchmark_program trelvo-trace-benchmark)" "$@"
run_as_client "$(benchmark_program trelvo-trace-benchmark)" --json "$@"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
