#!/usr/bin/env bash
# Robustness checks, native only, in this order: the whole suite built with
# AddressSanitizer and UBSan (preset asan); the tests that run threads built
# with ThreadSanitizer (preset tsan); the front end's life cycle (load,
# initialize, forward, disconnect, reload, unload with dlclose, load again)
# under valgrind memcheck; each fuzzer for a bounded time (preset fuzz).
#
#   scripts/robustness.sh                    every step of ROBUSTNESS_STEPS
#   scripts/robustness.sh valgrind fuzz      only the steps named
#   FUZZ_SECONDS=3600 scripts/robustness.sh fuzz
#
# Every step runs, even after one failed; the summary at the end counts the
# test cases, life-cycle runs and fuzzers that passed and failed.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ROBUSTNESS_STEPS=(asan tsan valgrind fuzz)
FUZZERS=(configfilereader sharedinfo)
: "${FUZZ_SECONDS:=60}"

# One line per check for the summary: "passed <what>" or "failed <what>".
record() { echo "$1 $2" >>"$RESULTS_FILE"; }

run_ctest() {
    local preset=$1
    local log status=0 closing failed total
    log="$(build_dir "$preset")/ctest.log"
    announce "Running the tests of preset '$preset'"
    ctest --preset "$preset" 2>&1 | tee "$log" || status=$?
    closing=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+$' "$log" || true)
    if [[ -z $closing ]]; then
        record failed "ctest $preset: no test summary"
        return 1
    fi
    read -r failed total < <(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+)$/\1 \2/' <<<"$closing")
    for ((i = 0; i < total - failed; i++)); do record passed "ctest $preset"; done
    for ((i = 0; i < failed; i++)); do record failed "ctest $preset"; done
    return "$status"
}

step_asan() {
    build_preset asan
    run_ctest asan
}

step_tsan() {
    build_preset tsan
    run_ctest tsan
}

# Each case of the unload test in a process of its own under memcheck: no
# invalid access and no leak of any kind.
step_valgrind() {
    build_preset native unload-test
    local test_binary cases case status=0
    test_binary="$(build_dir native)/tests/api/unload-test"
    mapfile -t cases < <("$test_binary" --gtest_list_tests | awk '/^[^ ]/ {suite=$1} /^  / {print suite $1}')
    ((${#cases[@]} > 0)) || die "no test case in $test_binary"
    for case in "${cases[@]}"; do
        announce "valgrind memcheck: $case"
        if valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=all \
            --errors-for-leak-kinds=all "$test_binary" --gtest_filter="$case"; then
            record passed "valgrind $case"
        else
            record failed "valgrind $case"
            status=1
        fi
    done
    return "$status"
}

# New inputs go to a working corpus in the build tree; the seeds in
# fuzz/corpus are only read. A crash leaves its input in the build tree too.
step_fuzz() {
    build_preset fuzz
    local fuzz_dir fuzzer status=0
    fuzz_dir=$(build_dir fuzz)
    for fuzzer in "${FUZZERS[@]}"; do
        announce "Fuzzing $fuzzer for ${FUZZ_SECONDS}s"
        mkdir -p "$fuzz_dir/corpus/$fuzzer" "$fuzz_dir/artifacts"
        if "$fuzz_dir/fuzz/$fuzzer-fuzzer" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
            -artifact_prefix="$fuzz_dir/artifacts/$fuzzer-" \
            "$fuzz_dir/corpus/$fuzzer" "$TRELVO_SOURCE_DIR/fuzz/corpus/$fuzzer"; then
            record passed "fuzzer $fuzzer"
        else
            record failed "fuzzer $fuzzer"
            status=1
        fi
    done
    return "$status"
}

main() {
    local steps=("$@")
    ((${#steps[@]} > 0)) || steps=("${ROBUSTNESS_STEPS[@]}")
    local step
    for step in "${steps[@]}"; do
        declare -F "step_$step" >/dev/null ||
            die "no such step: $step (steps: ${ROBUSTNESS_STEPS[*]})"
    done

    "$TRELVO_SOURCE_DIR/scripts/install-deps.sh"

    RESULTS_FILE=$(mktemp)
    TIMINGS_FILE=$(mktemp)
    trap 'rm -f "$RESULTS_FILE" "$TIMINGS_FILE"' EXIT
    local failed=() status started failures
    for step in "${steps[@]}"; do
        started=$SECONDS
        failures=$(grep -c '^failed ' "$RESULTS_FILE" || true)
        set +e
        (set -e; "step_$step")
        status=$?
        set -e
        if ((status != 0)); then
            failed+=("$step")
            # A step that failed before any check of its own (a build, say).
            (($(grep -c '^failed ' "$RESULTS_FILE" || true) > failures)) || record failed "step $step"
        fi
        printf 'step %s: %s in %ds\n' "$step" "$( ((status == 0)) && echo passed || echo FAILED)" \
            $((SECONDS - started)) >>"$TIMINGS_FILE"
    done

    announce "Summary"
    cat "$TIMINGS_FILE"
    if ((${#failed[@]} > 0)); then
        grep '^failed ' "$RESULTS_FILE" | sort | uniq -c || true
        echo "FAILED: ${failed[*]}"
    fi
    echo "robustness: $(grep -c '^passed ' "$RESULTS_FILE") passed, $(grep -c '^failed ' "$RESULTS_FILE") failed"
    ((${#failed[@]} == 0))
}

main "$@"
