#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The quick start in a fresh Debian 12 root: on this machine's architecture
# as a newcomer, an ordinary user with sudo, the demo and the native suite;
# on another, run by qemu-user-static, which cannot carry sudo's set-user-ID
# bit, the demo as root. With packages, then the native package build and its
# autopkgtest, as root (on arm64 about 40 minutes). As root.
#   scripts/check-fresh-machine.sh [amd64|arm64] [packages]   (default: this machine's)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# In the root. The commit, the user, then what runs after the demo.
quick_start() {
    local started=$SECONDS packages check
    if [[ $2 != root ]]; then
        useradd --create-home --groups sudo "$2"
        echo "$2 ALL=(ALL) NOPASSWD: ALL" >"/etc/sudoers.d/$2"
        git config --system safe.directory /source.git # root's, bound in
    fi
    packages=$(dpkg-query -W | wc -l)
    as "$2" "git clone --quiet /source.git libtrelvo && cd libtrelvo && git checkout --quiet --detach $1 && scripts/demo.sh"
    echo "==== scripts/demo.sh as $2: $((SECONDS - started)) s, $(($(dpkg-query -W | wc -l) - packages)) packages installed"
    for check in "${@:3}"; do
        started=$SECONDS
        "$check" "$1"
        echo "==== $check: $((SECONDS - started)) s"
    done
    ! find /tmp -mindepth 1 -maxdepth 1 | grep . || { echo "error: left in /tmp" >&2 && return 1; }
}

as() { runuser --login "$1" --command "$2"; }

suite() { as newcomer "cd libtrelvo && scripts/test.sh native"; }

# In a clone of its own, cleaned after the build, since autopkgtest copies it.
packages() {
    git clone --quiet /source.git /root/package && cd /root/package && git checkout --quiet --detach "$1"
    scripts/install-deps.sh pkg.libtrelvo.packages
    DEB_BUILD_OPTIONS=parallel=2 dpkg-buildpackage -us -uc -b
    git clean -xdfq
    autopkgtest . ../{libtrelvo,libtrelvo-dev,trelvo-doctor}_*.deb -- null
}

arch=${1:-$(dpkg --print-architecture)} user=root checks=()
[[ $arch != "$(dpkg --print-architecture)" ]] || user=newcomer checks=(suite)
[[ ${2:-} != packages ]] || checks+=(packages)
"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
root=$TRELVO_SOURCE_DIR/scripts/debian-root.sh commit=$(git -C "$TRELVO_SOURCE_DIR" rev-parse HEAD)
announce "$commit in a fresh Debian 12 $arch root: scripts/demo.sh as $user, then ${checks[*]:-nothing more}"
"$root" run "$("$root" tarball bookworm "$arch" --include=sudo)" \
    --bind "$(git -C "$TRELVO_SOURCE_DIR" rev-parse --path-format=absolute --git-common-dir):/source.git" -- \
    bash -euo pipefail -c "$(declare -f quick_start as suite packages); quick_start $commit $user ${checks[*]}"
