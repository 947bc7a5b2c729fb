#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Shows the library at work: builds the front end, the sample implementation
# and the client, runs the client with the debug log on, prints the log the
# front end wrote beside itself, and asks trelvo-doctor what a program gets.
#
#   scripts/demo.sh            the native build
#   scripts/demo.sh aarch64    the aarch64 cross build, run under qemu-aarch64
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PRESET=${1:-native}
DIR=$(build_dir "$PRESET")
# The environment is the demo's own: only the sample beside the library can
# be chosen, and the log is on.
RUN=(env -u VELT_PATH -u VELTAPIOPTS -u TRELVOTRACE TRELVODEBUG=1)
case $PRESET in
native) ;;
aarch64) RUN+=("${AARCH64_EMULATOR[@]}") ;;
*) die "usage: $0 [native|aarch64]" ;;
esac

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
announce "Configuring and building preset '$PRESET' in $DIR"
in_source_tree cmake --preset "$PRESET"
in_source_tree cmake --build --preset "$PRESET" --target trelvo-client trelvo-doctor

announce "Running trelvo-client with the debug log on (TRELVODEBUG=1)"
"${RUN[@]}" "$DIR/examples/trelvo-client"

announce "$DIR/Trelvo.log"
[[ -s $DIR/Trelvo.log ]] || die "the front end wrote no log at $DIR/Trelvo.log"
cat "$DIR/Trelvo.log"

announce "Running trelvo-doctor: which implementation, and why"
"${RUN[@]}" "$DIR/trelvo-doctor"
