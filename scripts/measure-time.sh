#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Times direct and forwarded calls with Google Benchmark, on one thread and
# two, and prints the forwarded/direct ratios. Extra arguments go to the
# benchmark (e.g. --benchmark_repetitions=15).
#
#   scripts/measure-time.sh [build-dir [benchmark flags...]]   (default build/native)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

prepare_benchmarks "${1:-}" trelvo-forwarding-benchmark
shift || true
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
run_as_client "$(benchmark_program trelvo-forwarding-benchmark)" "$@"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
