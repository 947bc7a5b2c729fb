#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Counts the instructions a client spends per call, with callgrind: a direct
# call through a dlsym pointer against the same call through the front end,
# for a required and for an optional entry point (a million calls of each).
# Fails when a forwarded call costs more than 6 (required) or 8 (optional)
# instructions over a direct one, the forwarder's branch-protection landing
# pad (endbr64, bti) not counted.
#
#   scripts/measure-instructions.sh [build-dir]     (default build/native)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

command -v valgrind >/dev/null || die "valgrind not found"
prepare_benchmarks "${1:-}" trelvo-forwarding-instructions
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

run_as_client valgrind --tool=callgrind --callgrind-out-file="$results/callgrind.out" \
    "$(benchmark_program trelvo-forwarding-instructions)" >"$results/program.out" 2>"$results/valgrind.out" ||
    die "the program failed under callgrind: $(cat "$results/program.out" "$results/valgrind.out")"
cat "$results/program.out"
landing_pad=$(objdump -d --disassemble=VELT_Connect "$MEASURED_BUILD/libTrelvo_aarch64.so" | grep -cE $'\t(endbr64|bti)' || true)

# The inclusive counts of the four loops, as "name count" lines.
callgrind_annotate --inclusive=yes "$results/callgrind.out" |
    sed -nE 's/^ *([0-9,]+) .*:((Direct|Forwarded)(Required|Optional)) \[.*/\2 \1/p' | tr -d , |
    awk -v calls="$(sed -n 's/^calls per loop: //p' "$results/program.out")" -v pad="$landing_pad" '
    { count[$1] = $2 }
    function report(binding, limit,    direct, extra) {
        direct = count["Direct" binding] / calls
        extra = count["Forwarded" binding] / calls - direct
        printf "%-8s direct %6.2f  forwarded %6.2f  extra %5.2f per call (at most %d)\n",
            tolower(binding), direct, direct + extra, extra, limit
        return extra <= limit
    }
    END {
        if (length(count) != 4) { print "callgrind did not report all four loops"; exit 1 }
        printf "instructions per call, callgrind, %d calls each:\n", calls
        ok = report("Required", 6 + pad)
        exit report("Optional", 8 + pad) && ok ? 0 : 1
    }'
