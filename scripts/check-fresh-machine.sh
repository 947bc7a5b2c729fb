#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The README's quick start on a fresh minimal Debian 12: makes a minbase root
# (scripts/debian-root.sh) with git added, clones the commit checked out here
# into it, and runs scripts/demo.sh and scripts/test.sh there, so that they
# find nothing but what scripts/install-deps.sh installs. Fails when either
# fails or leaves anything in /tmp. Prints what the first run installed and
# how long each command took: the figures of the README's quick start. The
# root is removed at the end, whatever the outcome. Needs root.
#
#   scripts/check-fresh-machine.sh [PRESET...]   the presets of scripts/test.sh (default: native)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

readonly ROOT=$TRELVO_SOURCE_DIR/build/fresh-bookworm
readonly ROOT_SCRIPT=$TRELVO_SOURCE_DIR/scripts/debian-root.sh

# Runs in the root, as a new user would: clone, then the two commands.
quick_start() {
    local commit=$1 started packages installed downloaded leftovers
    shift
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
    scripts/test.sh "$@"
    local test_time=$((SECONDS - started))
    printf '\n==== %s\n' "The quick start on a fresh Debian 12"
    echo "packages installed: $(($(installed_sizes | wc -l) - packages))"
    echo "downloaded: $((($(debs | sum) - downloaded) / 1000000)) MB"
    echo "installed size: $((($(installed_sizes | sum) - installed) * 1024 / 1000000)) MB"
    echo "scripts/demo.sh: $demo_time s (with the installation), scripts/test.sh $*: $test_time s"
    leftovers=$(find /tmp -mindepth 1 -maxdepth 1)
    [[ -z $leftovers ]] || { echo "error: left in /tmp:"$'\n'"$leftovers" >&2 && return 1; }
}

(($# > 0)) || set -- native
"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
trap '"$ROOT_SCRIPT" remove "$ROOT"' EXIT
"$ROOT_SCRIPT" remove "$ROOT"
"$ROOT_SCRIPT" make bookworm "$ROOT" git
commit=$(git -C "$TRELVO_SOURCE_DIR" rev-parse HEAD)
git_dir=$(git -C "$TRELVO_SOURCE_DIR" rev-parse --path-format=absolute --git-common-dir)
announce "Clone $commit into the root, then scripts/demo.sh and scripts/test.sh $*"
"$ROOT_SCRIPT" run "$ROOT" --bind "$git_dir:/source.git" -- \
    bash -euo pipefail -c "$(declare -f quick_start); quick_start \"\$@\"" quick-start "$commit" "$@"
