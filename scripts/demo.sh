#!/usr/bin/env bash
# Shows the library at work: builds the front end, the sample implementation
# and the client, runs the client with the debug log switched on, prints the
# log that the front end wrote beside itself, then asks trelvo-doctor which
# implementation a program gets and why.
#
#   scripts/demo.sh            the native build
#   scripts/demo.sh aarch64    the aarch64 cross build, run under qemu-aarch64
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

readonly DEMO_TARGETS=(trelvo-client trelvo-doctor)
readonly DEMO_STEPS=(build run_client show_log run_doctor)

PRESET=${1:-native}
DIR=$(build_dir "$PRESET")
LIBRARY_DIR=$DIR
RUNNER=()

step_build() {
    build_preset "$PRESET" "${DEMO_TARGETS[@]}"
}

# The environment is the demo's own: only the sample beside the library can
# be chosen, and the log is on.
run_demo_program() {
    env -u VELT_PATH -u VELTAPIOPTS TRELVODEBUG=1 "${RUNNER[@]}" "$@"
}

step_run_client() {
    announce "Running trelvo-client with the debug log on (TRELVODEBUG=1)"
    run_demo_program "$DIR/examples/trelvo-client"
}

step_show_log() {
    local log=$LIBRARY_DIR/Trelvo.log
    announce "$log"
    [[ -s $log ]] || die "the front end wrote no log at $log"
    cat "$log"
}

step_run_doctor() {
    announce "Running trelvo-doctor: which implementation, and why"
    run_demo_program "$DIR/trelvo-doctor"
}

main() {
    case $PRESET in
        native) ;;
        aarch64)
            require_emulator
            RUNNER=("${AARCH64_EMULATOR[@]}")
            ;;
        *) die "usage: $0 [native|aarch64]" ;;
    esac
    "$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
    local step
    for step in "${DEMO_STEPS[@]}"; do
        "step_$step"
    done
}

main "$@"
