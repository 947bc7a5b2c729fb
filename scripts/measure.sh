#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The measurements that benchmarks/README.md describes, run as a client.
#   scripts/measure.sh instructions|time|first-call|trace [BUILD [FLAGS...]]   (BUILD: build/native)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/client"
run_as_client() { (cd "$work/client" && "${CLIENT_ENV[@]}" "$@"); }

# Fails when a forwarded call costs more than 6 (required) or 8 (optional)
# instructions over a direct one, a branch-protection landing pad not counted.
instructions() {
    local pad
    run_as_client valgrind --tool=callgrind --callgrind-out-file="$work/callgrind" "$1" >"$work/program" 2>"$work/valgrind" ||
        die "the program failed under callgrind: $(cat "$work/program" "$work/valgrind")"
    cat "$work/program"
    pad=$(objdump -d --disassemble=VELT_Connect "$BUILD/libTrelvo_aarch64.so" | grep -cE $'\t(endbr64|bti)' || true)
    callgrind_annotate --inclusive=yes "$work/callgrind" | tr -d , |
        awk -v calls="$(sed -n 's/^calls per loop: //p' "$work/program")" -v pad="$pad" '
        match($0, /:(Direct|Forwarded)(Required|Optional) \[/) { count[substr($0, RSTART + 1, RLENGTH - 3)] = $1 / calls }
        END {
            split("Required 6 Optional 8", limit)
            for (i = 1; i < 4; i += 2) {
                extra = count["Forwarded" limit[i]] - count["Direct" limit[i]]
                printf "%-8s direct %6.2f  forwarded %6.2f  extra %5.2f per call (at most %d)\n",
                    limit[i], count["Direct" limit[i]], count["Forwarded" limit[i]], extra, limit[i + 1] + pad
                failed = failed || extra > limit[i + 1] + pad
            }
            exit failed || length(count) != 4
        }'
}

declare -A PROGRAMS=([instructions]=trelvo-forwarding-instructions [time]=trelvo-forwarding-benchmark
    [first-call]=trelvo-first-call [trace]=trelvo-trace-benchmark)
[[ -v PROGRAMS[${1:-}] ]] || die "usage: $0 instructions|time|first-call|trace [BUILD [FLAGS...]]"
BUILD=$(realpath "${2:-$TRELVO_SOURCE_DIR/build/native}")
program=$BUILD/benchmarks/${PROGRAMS[$1]}
cmake --build "$BUILD" --target "${PROGRAMS[$1]}" >/dev/null ||
    die "cannot build ${PROGRAMS[$1]} in $BUILD (benchmarks need TRELVO_BUILD_BENCHMARKS and Google Benchmark)"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
case $1 in
instructions) instructions "$program" ;;
first-call) run_as_client "$program" "${3:-101}" ;;
trace) run_as_client "$program" "${@:3}" && run_as_client "$program" --json "${@:3}" ;;
time) run_as_client "$program" "${@:3}" ;;
esac
