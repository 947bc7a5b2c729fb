#!/usr/bin/env bash
# Counts the instructions a client spends per call, with callgrind: a direct
# call through a dlsym pointer against the same call through the front end,
# for a required and for an optional entry point (a million calls of each).
# Fails when a forwarded call costs more than its allowance over a direct one.
#
#   scripts/measure-instructions.sh [build-dir]     (default build/native)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/measure-common.sh"

readonly REQUIRED_LIMIT=6
readonly OPTIONAL_LIMIT=8

command -v valgrind >/dev/null || die "valgrind not found"
prepare_benchmarks "${1:-}" trelvo-forwarding-instructions
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

run_as_client valgrind --tool=callgrind --callgrind-out-file="$results/callgrind.out" \
    "$(benchmark_program trelvo-forwarding-instructions)" \
    >"$results/program.out" 2>"$results/valgrind.out" ||
    die "the program failed under callgrind: $(cat "$results/program.out" "$results/valgrind.out")"
cat "$results/program.out"
calls=$(sed -n 's/^calls per loop: //p' "$results/program.out")

# Inclusive counts of the four loops, as "name count" lines.
callgrind_annotate --inclusive=yes "$results/callgrind.out" |
    sed -nE 's/^ *([0-9,]+) .*:((Direct|Forwarded)(Required|Optional)) \[.*/\2 \1/p' |
    tr -d , >"$results/loops"

awk -v calls="$calls" -v required="$REQUIRED_LIMIT" -v optional="$OPTIONAL_LIMIT" '
    { count[$1] = $2; loops++ }
    function report(binding, limit,    direct, forwarded, extra) {
        direct = count["Direct" binding] / calls
        forwarded = count["Forwarded" binding] / calls
        extra = forwarded - direct
        printf "%-8s direct %6.2f  forwarded %6.2f  extra %5.2f per call (at most %d)\n",
            tolower(binding), direct, forwarded, extra, limit
        return extra <= limit
    }
    END {
        if (loops != 4) { print "callgrind did not report all four loops"; exit 1 }
        printf "instructions per call, callgrind, %d calls each:\n", calls
        ok = report("Required", required)
        ok = report("Optional", optional) && ok
        exit ok ? 0 : 1
    }' "$results/loops"
