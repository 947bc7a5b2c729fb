#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Fails unless two builds of the Debian packages, varied by reprotest, are
# byte-identical, debug information included.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
work=$TRELVO_SOURCE_DIR/build/reproducible
rm -rf "$work" && mkdir -p "$work/source" "$work/tmp" && cd "$work"
trap 'rm -rf "$work"' EXIT
git -C "$TRELVO_SOURCE_DIR" archive HEAD | tar -x -C source
# Not varied: file order (it takes FUSE) and users (it takes two).
TMPDIR=$work/tmp DEB_BUILD_OPTIONS="nocheck parallel=2" reprotest --vary=-fileordering,-user_group source -- null
