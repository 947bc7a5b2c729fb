#!/usr/bin/env bash
# Runs the whole test suite: natively, then the aarch64 cross build with its
# tests under qemu-aarch64. Fails when any step fails or runs no test.
#
#   scripts/test.sh            every step of TEST_STEPS, in order
#   scripts/test.sh aarch64    only the steps named
#
# Each step is a function step_<name>; run_ctest records ctest's closing line
# and counts for the summary at the end.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

TEST_STEPS=(native aarch64)

run_ctest() {
    local preset=$1
    local log status=0 closing
    log="$(build_dir "$preset")/ctest.log"
    announce "Running the tests of preset '$preset'"
    ctest --preset "$preset" 2>&1 | tee "$log" || status=$?
    closing=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+$' "$log" || true)
    printf '    ctest %s: %s\n' "$preset" "${closing:-no test summary}" >>"$SUMMARY_FILE"
    [[ -z $closing ]] || sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+)$/\1 \2/' <<<"$closing" >>"$COUNTS_FILE"
    return "$status"
}

# Adds up the failed and total counts that run_ctest recorded.
print_totals() {
    local failed=0 total=0 f t
    while read -r f t; do
        failed=$((failed + f))
        total=$((total + t))
    done <"$COUNTS_FILE"
    echo "tests: $((total - failed)) passed, $failed failed"
}

step_native() {
    build_preset native
    run_ctest native
}

step_aarch64() {
    require_emulator
    build_preset aarch64
    run_ctest aarch64
}

main() {
    local steps=("$@")
    ((${#steps[@]} > 0)) || steps=("${TEST_STEPS[@]}")
    local step
    for step in "${steps[@]}"; do
        declare -F "step_$step" >/dev/null || die "no such step: $step (steps: ${TEST_STEPS[*]})"
    done

    "$TRELVO_SOURCE_DIR/scripts/install-deps.sh"

    SUMMARY_FILE=$(mktemp)
    COUNTS_FILE=$(mktemp)
    trap 'rm -f "$SUMMARY_FILE" "$COUNTS_FILE"' EXIT
    # Every step runs, even after one failed, so that one run reports them all.
    # A step runs in a subshell of its own, where set -e still holds.
    local failed=() status
    for step in "${steps[@]}"; do
        set +e
        (set -e; "step_$step")
        status=$?
        set -e
        if ((status == 0)); then
            echo "step $step: passed" >>"$SUMMARY_FILE"
        else
            echo "step $step: FAILED" >>"$SUMMARY_FILE"
            failed+=("$step")
        fi
    done

    announce "Summary"
    cat "$SUMMARY_FILE"
    print_totals
    if ((${#failed[@]} > 0)); then
        echo "FAILED: ${failed[*]}"
        return 1
    fi
    echo "All steps passed: ${steps[*]}"
}

main "$@"
