# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# shellcheck shell=bash
# Shared by the scripts in this folder (sourced, not run): the source tree,
# presets, benchmark runs, and the runner of workflow presets with its summary. Paths given to
# a script are taken relative to the caller's directory; only the commands
# that read CMakePresets.json run from the top of the tree.

TRELVO_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly TRELVO_SOURCE_DIR
# shellcheck disable=SC2034 # for the sourcing scripts: the toolchain file's emulator
readonly AARCH64_EMULATOR=(qemu-aarch64 -L /usr/aarch64-linux-gnu)

announce() { printf '\n==== %s\n' "$*"; }

die() {
    printf 'error: %s\n' "$*" >&2
    exit 1
}

in_source_tree() { (cd "$TRELVO_SOURCE_DIR" && "$@"); }

# The build tree of a preset, as the presets' binaryDir places it.
build_dir() { echo "$TRELVO_SOURCE_DIR/build/$1"; }

# Benchmarks (measure-*.sh): the build tree named by the first argument
# (default: the native preset's), with the benchmark programs named after it
# brought up to date.
prepare_benchmarks() {
    MEASURED_BUILD=$(realpath "${1:-$(build_dir native)}")
    [[ -f $MEASURED_BUILD/CMakeCache.txt ]] || die "$MEASURED_BUILD is not a configured build tree"
    cmake --build "$MEASURED_BUILD" --target "${@:2}" >/dev/null ||
        die "cannot build ${*:2} in $MEASURED_BUILD (benchmarks need TRELVO_BUILD_BENCHMARKS and, for the timings, Google Benchmark)"
}

benchmark_program() { echo "$MEASURED_BUILD/benchmarks/$1"; }

# Runs a command as a client would be run: from an empty current directory,
# with no variable that steers the front end's search or switches its log or
# its trace on, so that a benchmark finds the null implementation beside its
# front end.
run_as_client() {
    local work status=0
    work=$(mktemp -d)
    (cd "$work" && env -u VELT_PATH -u TRELVODEBUG -u TRELVOTRACE -u VELTAPIOPTS "$@") || status=$?
    rm -rf "$work"
    return $status
}

# Runs the command; for the preset debian, with the flags Debian builds
# packages with, CPPFLAGS folded into the compile flags as debhelper does.
with_preset_flags() {
    if [[ $1 == debian ]]; then
        eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
        export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
    fi
    "${@:2}"
}

# Runs each workflow preset named (configure, build, test), every one even
# after one failed, then sums up their tests (summarize_tests). Fails when a
# workflow or a test failed, or no test ran.
run_workflows() {
    local title=$1 preset tree log started runs=() timings=() failed=()
    shift
    "$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
    for preset in "$@"; do
        announce "Workflow '$preset': configure, build, test"
        # Kept apart, since two workflows may test in one build tree.
        tree=$(workflow_build_dir "$preset") log=$(build_dir "$preset").LastTest.log
        rm -f "$tree/$CTEST_LOG" "$log"
        started=$SECONDS
        in_source_tree with_preset_flags "$preset" cmake --workflow --preset "$preset" || failed+=("$preset")
        timings+=("workflow $preset: $((SECONDS - started)) s")
        [[ ! -f $tree/$CTEST_LOG ]] || cp "$tree/$CTEST_LOG" "$log"
        runs+=("preset $preset" "$log")
    done
    announce Summary
    printf '%s\n' "${timings[@]}" ${failed[0]:+"FAILED: ${failed[*]}"}
    summarize_tests "$title" "${runs[@]}" && ((${#failed[@]} == 0))
}

# The build tree of a workflow preset: its configure preset's.
workflow_build_dir() {
    build_dir "$(in_source_tree python3 -c 'import json, sys
workflows = json.load(open("CMakePresets.json"))["workflowPresets"]
print(next(w["steps"][0]["name"] for w in workflows if w["name"] == sys.argv[1]))' "$1")"
}

# The log of the last test run in a build tree, which CTest writes in every
# version (the JUnit report only from 3.21 on).
readonly CTEST_LOG=Testing/Temporary/LastTest.log

# Sums up the test runs of the CTest logs given (pairs NAME LOG): each
# skipped test with its reason, each run's counts, and the closing line
# "<title>: N passed, M failed, K skipped". Fails when a test failed or none
# ran.
summarize_tests() {
    python3 - "$@" <<'EOF'
import re, sys

title, runs = sys.argv[1], sys.argv[2:]
line = "{} passed, {} failed, {} skipped".format
totals = [0, 0, 0]  # passed, failed, skipped
for name, path in zip(runs[::2], runs[1::2]):
    try:
        log = open(path, errors="replace").read()
    except OSError:
        log = ""
    counts = [0, 0, 0]
    # Pieces: the log's head, then the name and the record of each test.
    pieces = re.split(r"^\d+/\d+ Testing: ([^\n]*)\n", log, flags=re.M)
    for test, record in zip(pieces[1::2], pieces[2::2]):
        output = re.search(r"^Output:\n-+\n(.*?)<end of output>", record, re.M | re.S)
        output = output.group(1) if output else ""
        passed = re.search(r"^Test Pass(ed\.| Reason:)$", record, re.M) is not None
        # A skip is GoogleTest's, which gives the reason first.
        skipped = passed and "[  SKIPPED ]" in output
        if skipped:
            reason = re.search(r": Skipped\n(.*?)\[  SKIPPED \]", output, re.S)
            print(f"skipped {test}: {' '.join(reason.group(1).split()) if reason else '?'}")
        counts[2 if skipped else 0 if passed else 1] += 1
    totals = [t + c for t, c in zip(totals, counts)]
    print(f"{name}: {line(*counts)}")
print(f"{title}: {line(*totals)}")
sys.exit(0 if totals[1] == 0 and totals[0] > 0 else 1)
EOF
}
