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
# after one failed, then sums up the JUnit reports of their test presets
# (build/<preset>.junit.xml): each skipped test with its reason, each preset's
# counts, and the closing line "<title>: N passed, M failed, K skipped". Fails
# when a workflow or a test failed, or no test ran.
run_workflows() {
    local title=$1 preset report started reports=() timings=() failed=()
    shift
    "$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
    for preset in "$@"; do
        announce "Workflow '$preset': configure, build, test"
        report=$(build_dir "$preset").junit.xml
        rm -f "$report"
        started=$SECONDS
        in_source_tree with_preset_flags "$preset" cmake --workflow --preset "$preset" || failed+=("$preset")
        timings+=("workflow $preset: $((SECONDS - started)) s")
        [[ ! -f $report ]] || reports+=("$report")
    done
    announce Summary
    printf '%s\n' "${timings[@]}" ${failed[0]:+"FAILED: ${failed[*]}"}
    python3 - "$title" "${reports[@]}" <<'EOF' && ((${#failed[@]} == 0))
import os, re, sys
import xml.etree.ElementTree as ET

line = "{} passed, {} failed, {} skipped".format
totals = [0, 0, 0]  # passed, failed, skipped
for report in sys.argv[2:]:
    counts = [0, 0, 0]
    for case in ET.parse(report).iter("testcase"):
        # ctest tells a skip by GoogleTest's output, which gives the reason first.
        skipped = case.find("skipped[@message='SKIP_REGULAR_EXPRESSION_MATCHED']") is not None
        if skipped:
            reason = re.search(r": Skipped\n(.*?)\[  SKIPPED \]", case.findtext("system-out", ""), re.S)
            print(f"skipped {case.get('name')}: {' '.join(reason.group(1).split()) if reason else '?'}")
        counts[0 if case.get("status") == "run" else 2 if skipped else 1] += 1
    totals = [t + c for t, c in zip(totals, counts)]
    print(f"preset {os.path.basename(report).split('.')[0]}: {line(*counts)}")
print(f"{sys.argv[1]}: {line(*totals)}")
sys.exit(0 if totals[1] == 0 and totals[0] > 0 else 1)
EOF
}
