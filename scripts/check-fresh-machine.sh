#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The README's quick start on a fresh minimal Debian 12: makes a minbase root
# (scripts/debian-root.sh) with git added, clones the commit checked out here
# into it, and runs scripts/demo.sh there, so that it finds nothing but what
# scripts/install-deps.sh installs. Then, in a root of this machine's
# architecture, the native suite (scripts/test.sh native); in an arm64 root, run by qemu-user-static on
# x86-64, what Debian's arm64 build machines do: dpkg-buildpackage natively,
# with the whole suite, then the packages installed by the root's own apt and
# their autopkgtest. Fails when any of these fails or leaves anything in
# /tmp. Prints what the runs installed and how long each took: the figures of
# the README's quick start. The root is removed at the end, whatever the
# outcome. Needs root.
#
#   scripts/check-fresh-machine.sh [ARCH]   amd64 or arm64 (default: this machine's)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

readonly ARCH=${1:-$(dpkg --print-architecture)}
readonly ROOT=$TRELVO_SOURCE_DIR/build/fresh-bookworm-$ARCH
readonly ROOT_SCRIPT=$TRELVO_SOURCE_DIR/scripts/debian-root.sh

# Runs in the root, as a new user would: clone, the demo, then the check named
# (test.sh or packages).
quick_start() {
    local commit=$1 check=$2 started packages installed downloaded leftovers
    git clone --quiet /source.git /root/libtrelvo
    cd /root/libtrelvo
    git checkout --quiet --detach "$commit"
    # apt's cache of packages, and the sizes (KiB) of those installed
    debs() { find /var/cache/apt/archives -name '*.deb' -printf '%s\n'; }
    installed_sizes() { dpkg-query -W -f='${Installed-Size}\n'; }
    sum() { awk '{ sum += $1 } END { print sum + 0 }'; }
    packages=$(installed_sizes | wc -l) installed=$(installed_sizes | sum) downloaded=$(debs | sum)
    started=$SECONDS
    scripts/demo.sh
    local demo_time=$((SECONDS - started))
    started=$SECONDS
    "$check"
    local check_time=$((SECONDS - started))
    printf '\n==== %s\n' "The quick start on a fresh Debian 12 $(dpkg --print-architecture)"
    echo "packages installed: $(($(installed_sizes | wc -l) - packages))"
    echo "downloaded: $((($(debs | sum) - downloaded) / 1000000)) MB"
    echo "installed size: $((($(installed_sizes | sum) - installed) * 1024 / 1000000)) MB"
    echo "scripts/demo.sh: $demo_time s (with the installation), $check: $check_time s"
    leftovers=$(find /tmp -mindepth 1 -maxdepth 1)
    [[ -z $leftovers ]] || { echo "error: left in /tmp:"$'\n'"$leftovers" >&2 && return 1; }
}

tests() { scripts/test.sh native; }

# The packages built natively with their suite, installed with apt, and their
# autopkgtest run where they are installed.
packages() (
    source scripts/artifact-checks.sh
    make_work_dir packages
    local arch changes
    arch=$(dpkg --print-architecture)
    build_source_package "$WORK/$arch" "libtrelvo-$UPSTREAM_VERSION"
    changes=$WORK/$arch/libtrelvo_${DEBIAN_VERSION}_$arch.changes
    announce "apt-get install the $arch packages, then their autopkgtest"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends autopkgtest \
        "$WORK/$arch"/{libtrelvo,libtrelvo-dev,trelvo-doctor}_"${DEBIAN_VERSION}_$arch.deb" >/dev/null
    autopkgtest "$changes" -- null
)

check=packages
[[ $ARCH != "$(dpkg --print-architecture)" ]] || check=tests
"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
trap '"$ROOT_SCRIPT" remove "$ROOT"' EXIT
"$ROOT_SCRIPT" remove "$ROOT"
"$ROOT_SCRIPT" make "bookworm/$ARCH" "$ROOT" git
commit=$(git -C "$TRELVO_SOURCE_DIR" rev-parse HEAD)
git_dir=$(git -C "$TRELVO_SOURCE_DIR" rev-parse --path-format=absolute --git-common-dir)
announce "Clone $commit into the $ARCH root, then scripts/demo.sh and $check"
"$ROOT_SCRIPT" run "$ROOT" --bind "$git_dir:/source.git" -- bash -euo pipefail -c \
    "$(declare -f quick_start "$check"); quick_start \"\$@\"" quick-start "$commit" "$check"
