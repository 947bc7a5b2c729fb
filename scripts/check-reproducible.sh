#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Builds the Debian packages of the last commit twice with reprotest, which
# varies between the builds what may leak into them (the build path, time,
# environment, locale, time zone, umask, home, host name, processors);
# fails unless the .debs, the -dbgsym ones with the debug information
# included, are byte-identical.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
mkdir -p "$TRELVO_SOURCE_DIR/build"
work=$(mktemp -d "$TRELVO_SOURCE_DIR/build/reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/source" "$work/tmp"
git -C "$TRELVO_SOURCE_DIR" archive HEAD | tar -x -C "$work/source"
cd "$work"
# Files are not reordered: that takes a FUSE file system.
TMPDIR=$work/tmp DEB_BUILD_OPTIONS="nocheck parallel=2" reprotest --vary=-fileordering \
    --store-dir="$work/differences" source -- null
