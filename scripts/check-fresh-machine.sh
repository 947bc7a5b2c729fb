#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The quick start in a fresh Debian 12 root, then the native suite there, or
# in an arm64 root the packages' build, suite and autopkgtest. As root.
#   scripts/check-fresh-machine.sh [amd64|arm64]   (default: this machine's)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# In the root, as a new user would.
quick_start() {
    local started=$SECONDS packages
    git clone --quiet /source.git /root/libtrelvo && cd /root/libtrelvo && git checkout --quiet --detach "$1"
    packages=$(dpkg-query -W | wc -l)
    scripts/demo.sh
    echo "==== scripts/demo.sh: $((SECONDS - started)) s, $(($(dpkg-query -W | wc -l) - packages)) packages installed"
    started=$SECONDS
    "$2"
    echo "==== $2: $((SECONDS - started)) s"
    ! find /tmp -mindepth 1 -maxdepth 1 | grep . || { echo "error: left in /tmp" >&2 && return 1; }
}

suite() { scripts/test.sh native; }

# In a clone of its own, cleaned after the build, since autopkgtest copies it.
packages() {
    git clone --quiet . /root/package && cd /root/package
    DEB_BUILD_OPTIONS=parallel=2 dpkg-buildpackage -us -uc -b
    git clean -xdfq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends autopkgtest >/dev/null
    autopkgtest . ../{libtrelvo,libtrelvo-dev,trelvo-doctor}_*.deb -- null
}

arch=${1:-$(dpkg --print-architecture)} check=packages
[[ $arch != "$(dpkg --print-architecture)" ]] || check=suite
"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
root=$TRELVO_SOURCE_DIR/scripts/debian-root.sh commit=$(git -C "$TRELVO_SOURCE_DIR" rev-parse HEAD)
announce "$commit in a fresh Debian 12 $arch root: scripts/demo.sh, then $check"
"$root" run "$("$root" tarball bookworm "$arch")" \
    --bind "$(git -C "$TRELVO_SOURCE_DIR" rev-parse --path-format=absolute --git-common-dir):/source.git" -- \
    bash -euo pipefail -c "$(declare -f quick_start "$check"); quick_start $commit $check"
