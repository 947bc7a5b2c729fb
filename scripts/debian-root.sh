#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Minimal Debian roots (debootstrap --variant=minbase) for checks that need a
# fresh or an older system than this one. They come from the archive that this
# machine's apt uses, since it may have no other network. Needs root.
#
#   scripts/debian-root.sh make SUITE DIR [PACKAGE...]
#       makes DIR a root of SUITE (bookworm, bullseye, ...) with the packages
#       given, or leaves it as it is when it was made so and is intact. A
#       pristine copy of each suite, kept in build/roots/, serves later makes.
#   scripts/debian-root.sh run DIR [--bind SOURCE:TARGET]... [--] COMMAND...
#       runs the command in DIR as root, with /proc, /sys and /dev, and each
#       SOURCE bound read-only at TARGET. The mounts live in a private mount
#       namespace, so they are gone when the command ends, however it ends.
#   scripts/debian-root.sh remove DIR
#       removes DIR, but never while anything is mounted under it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

readonly PRISTINE_DIR=$TRELVO_SOURCE_DIR/build/roots
# The stamp that says a root is complete, and with which packages.
readonly STAMP=.trelvo-root

# The first URI of this machine's apt sources: the Debian archive it reaches.
# Debian 12 keeps them in deb822 form, a debootstrapped root as a one-line list.
debian_mirror() {
    local sources mirror=
    for sources in /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list; do
        [[ -z $mirror && -r $sources ]] || continue
        mirror=$(awk '$1 == "URIs:" || $1 == "deb" { print $2; exit }' "$sources")
    done
    [[ -n $mirror ]] || die "no Debian archive in this machine's apt sources"
    echo "$mirror"
}

mounted_under() { findmnt -rn -o TARGET | awk -v root="$(realpath -m "$1")" 'index($0, root "/") == 1'; }

remove_root() {
    local dir=$1 mounts
    [[ -e $dir ]] || return 0
    mounts=$(mounted_under "$dir")
    [[ -z $mounts ]] || die "will not remove $dir: mounted under it:"$'\n'"$mounts"
    rm -rf --one-file-system "$dir"
}

# Unpacks the pristine minbase root of the suite into dir, debootstrapping it first
# when there is none yet.
unpack_pristine() {
    local suite=$1 dir=$2 pristine=$PRISTINE_DIR/$1.tar mirror
    if [[ ! -f $pristine ]]; then
        mirror=$(debian_mirror)
        announce "debootstrap --variant=minbase $suite from $mirror"
        mkdir -p "$PRISTINE_DIR"
        debootstrap --variant=minbase "$suite" "$dir" "$mirror"
        tar -C "$dir" -cf "$pristine.partial" . && mv "$pristine.partial" "$pristine"
    else
        announce "Unpacking the pristine $suite root into $dir"
        mkdir -p "$dir" && tar -C "$dir" -xf "$pristine"
    fi
}

make_root() {
    local suite=$1 dir=$2 wanted
    shift 2
    wanted="$suite $*"
    if [[ -f $dir/$STAMP && $(<"$dir/$STAMP") == "$wanted" && -x $dir/bin/sh ]]; then
        announce "Root $dir: $suite, made before, reused"
        return
    fi
    remove_root "$dir"
    unpack_pristine "$suite" "$dir"
    if (($# > 0)); then
        announce "Installing into the $suite root: $*"
        run_in_root "$dir" sh -c 'apt-get update -qq &&
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null' \
            install "$@"
    fi
    echo "$wanted" >"$dir/$STAMP"
}

run_in_root() {
    local dir binds=()
    dir=$(realpath "$1")
    shift
    while [[ ${1:-} == --bind ]]; do
        binds+=("$2")
        shift 2
    done
    [[ ${1:-} != -- ]] || shift
    (($# > 0)) || die "run: no command"
    cp /etc/resolv.conf "$dir/etc/resolv.conf" 2>/dev/null || true
    # shellcheck disable=SC2016 # expanded by the inner shell
    unshare --mount --propagation private bash -euc '
        dir=$1 count=$2
        shift 2
        # The root a mount point of its own, as / is, so that commands in it
        # can make their own mounts private (mount --make-rprivate /).
        mount --bind "$dir" "$dir"
        mount -t proc proc "$dir/proc"
        mount --rbind /sys "$dir/sys"
        mount --rbind /dev "$dir/dev"
        for bind in "${@:1:count}"; do
            mkdir -p "$dir${bind#*:}"
            mount --bind "${bind%%:*}" "$dir${bind#*:}"
            mount -o remount,bind,ro "$dir${bind#*:}"
        done
        exec chroot "$dir" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            ${CI:+CI="$CI"} ${FUZZ_SECONDS:+FUZZ_SECONDS="$FUZZ_SECONDS"} "${@:count+1}"
    ' run-in-root "$dir" "${#binds[@]}" "${binds[@]}" "$@"
}

((EUID == 0)) || die "$0 needs root (debootstrap, chroot, mounts)"
case ${1:-} in
make) (($# >= 3)) || die "usage: $0 make SUITE DIR [PACKAGE...]"; make_root "${@:2}" ;;
run) (($# >= 3)) || die "usage: $0 run DIR [--bind SOURCE:TARGET]... [--] COMMAND..."; run_in_root "${@:2}" ;;
remove) (($# == 2)) || die "usage: $0 remove DIR"; remove_root "$2" ;;
*) die "usage: $0 make SUITE DIR [PACKAGE...] | run DIR [--bind SOURCE:TARGET]... COMMAND... | remove DIR" ;;
esac
