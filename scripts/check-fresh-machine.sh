#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The quick start in a fresh Debian 12 root: on this machine's architecture as
# a newcomer, an ordinary user with sudo, the demo then the native suite; on
# another, run by qemu-user-static, which cannot carry sudo's set-user-ID bit,
# the demo as root. With packages, then as root the native package build and
# its autopkgtest (on arm64 about 40 minutes). As root.
#   scripts/check-fresh-machine.sh [amd64|arm64] [packages]   (default: this machine's)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# In the root: the commit, the user, then the steps after the demo.
quick_start() {
    local packages step
    [[ $2 == root ]] || { useradd --create-home --groups sudo "$2" && echo "$2 ALL=(ALL) NOPASSWD: ALL" >"/etc/sudoers.d/$2" &&
        git config --system safe.directory /source.git; } # root's repository, bound in
    packages=$(dpkg-query -W | wc -l)
    for step in demo "${@:3}"; do
        SECONDS=0 && "$step" "$1" "$2"
        echo "==== $step as $2: $SECONDS s, $(($(dpkg-query -W | wc -l) - packages)) packages installed so far"
    done
    ! find /tmp -mindepth 1 -maxdepth 1 | grep . || { echo "error: left in /tmp" >&2 && return 1; }
}
as() { runuser --login "$1" --command "$2"; }
demo() { as "$2" "git clone --quiet /source.git libtrelvo && cd libtrelvo && git checkout --quiet --detach $1 && scripts/demo.sh"; }
suite() { as "$2" "cd libtrelvo && scripts/test.sh native"; }

# As root, in a clone of its own, cleaned after the build, since autopkgtest copies it.
packages() {
    git clone --quiet /source.git /root/package && cd /root/package && git checkout --quiet --detach "$1"
    scripts/install-deps.sh pkg.libtrelvo.packages
    DEB_BUILD_OPTIONS=parallel=2 dpkg-buildpackage -us -uc -b && git clean -xdfq
    autopkgtest . ../{libtrelvo,libtrelvo-dev,trelvo-doctor}_*.deb -- null
}

arch=${1:-$(dpkg --print-architecture)} user=root steps=()
[[ $arch != "$(dpkg --print-architecture)" ]] || user=newcomer steps=(suite)
[[ ${2:-} != packages ]] || steps+=(packages)
"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
root=$TRELVO_SOURCE_DIR/scripts/debian-root.sh commit=$(git -C "$TRELVO_SOURCE_DIR" rev-parse HEAD)
announce "$commit in a fresh Debian 12 $arch root, as $user: demo ${steps[*]}"
"$root" run "$("$root" tarball bookworm "$arch" --include=sudo)" \
    --bind "$(git -C "$TRELVO_SOURCE_DIR" rev-parse --path-format=absolute --git-common-dir):/source.git" -- \
    bash -euo pipefail -c "$(declare -f quick_start as demo suite packages); quick_start $commit $user ${steps[*]}"
