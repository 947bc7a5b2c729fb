# Shared by the scripts measure-*.sh (sourced, not run): the build tree to
# measure, and how its benchmark programs are run.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# The build tree named by the first argument (default: the native preset's),
# with the benchmark programs named after it brought up to date.
prepare_benchmarks() {
    MEASURED_BUILD=$(realpath "${1:-$(build_dir native)}")
    shift
    [[ -f $MEASURED_BUILD/CMakeCache.txt ]] || die "$MEASURED_BUILD is not a configured build tree"
    cmake --build "$MEASURED_BUILD" --target "$@" >/dev/null ||
        die "cannot build $* in $MEASURED_BUILD (benchmarks need TRELVO_BUILD_BENCHMARKS and, for the timings, Google Benchmark)"
}

benchmark_program() { echo "$MEASURED_BUILD/benchmarks/$1"; }

# Runs a command as a client would be run: from an empty current directory
# and with no environment that steers the front end's search or switches its
# log on, so that a benchmark program finds the null implementation beside its
# private copy of the front end.
run_as_client() {
    local work status=0
    work=$(mktemp -d)
    (cd "$work" && env -u VELT_PATH -u TRELVODEBUG -u VELTAPIOPTS "$@") || status=$?
    rm -rf "$work"
    return $status
}
