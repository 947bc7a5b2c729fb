#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Builds the front end, the sample and the client, runs the client with the
# log on, shows the log, and asks trelvo-doctor what a program gets.
#   scripts/demo.sh [native|aarch64]    aarch64: the cross build, run under qemu-aarch64
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh" pkg.libtrelvo.presets
preset=${1:-native} dir=$TRELVO_SOURCE_DIR/build/${1:-native}
# Only the sample beside the library can be chosen, and the log is on.
run=("${CLIENT_ENV[@]}" TRELVODEBUG=1)
[[ $preset =~ ^(native|aarch64)$ ]] || die "usage: $0 [native|aarch64]"
[[ $preset == native ]] || { aarch64_emulator && run+=("${AARCH64_EMULATOR[@]}"); }
cd "$TRELVO_SOURCE_DIR"
cmake --preset "$preset"
cmake --build --preset "$preset" --target trelvo-client trelvo-doctor
announce "trelvo-client, with the debug log on (TRELVODEBUG=1)"
"${run[@]}" "$dir/examples/trelvo-client"
announce "$dir/Trelvo.log"
cat "$dir/Trelvo.log"
announce "trelvo-doctor: which implementation, and why"
"${run[@]}" "$dir/trelvo-doctor"
