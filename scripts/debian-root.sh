#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Minimal Debian roots (mmdebstrap tarballs kept a week at most in the
# machine's cache, named by what went into them, so that every clone shares
# them) and commands run in fresh copies of them, through qemu-user-static for
# another architecture. As root.
#   scripts/debian-root.sh tarball SUITE ARCH[,ARCH] [MMDEBSTRAP-OPTION...]   prints the tarball, made if need be
#   scripts/debian-root.sh run TARBALL [--bind SOURCE:TARGET]... [--] COMMAND...
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
readonly ROOTS=${XDG_CACHE_HOME:-$HOME/.cache}/libtrelvo BINFMT=/proc/sys/fs/binfmt_misc PACKAGES=git

# Registers qemu-user-static's entry for another architecture until exit; its
# F flag opens the emulator at once, so that it serves in a root.
emulate() {
    local qemu entry
    [[ $1 != "$(dpkg --print-architecture)" ]] || return 0
    case $1 in arm64) qemu=aarch64 ;; amd64) qemu=x86_64 ;; *) die "no emulator known for $1" ;; esac
    entry=$BINFMT/qemu-$qemu
    [[ -r /usr/lib/binfmt.d/qemu-$qemu.conf ]] || die "install qemu-user-static to run $1 programs"
    mountpoint -q "$BINFMT" || { mount -t binfmt_misc binfmt_misc "$BINFMT" && on_exit "umount $BINFMT"; }
    [[ -e $entry ]] || { cat "/usr/lib/binfmt.d/qemu-$qemu.conf" >"$BINFMT/register" && on_exit "echo -1 >$entry"; }
    grep -q '^flags: .*F' "$entry" || die "$entry lacks the F flag, which a root needs"
}

# The options, hooks and their scripts among them, name the tarball by their hash.
make_tarball() {
    local tarball arch
    tarball=$ROOTS/$1-${2//,/+}-$(sha256sum <<<"$PACKAGES ${*:3}" | cut -c1-16).tar
    if [[ ! -f $tarball || -n $(find "$tarball" -mtime +6) ]]; then
        for arch in ${2//,/ }; do emulate "$arch"; done
        mkdir -p "$ROOTS" && find "$ROOTS" -maxdepth 1 -name '*.tar' -mtime +6 -delete
        mmdebstrap --variant=minbase --architectures="$2" --include="$PACKAGES" "${@:3}" --format=tar "$1" "$tarball.partial" >&2
        mv "$tarball.partial" "$tarball"
    fi
    echo "$tarball"
}

run_in_root() {
    local tarball=$1 dir binds=() arch arches
    shift
    while [[ ${1:-} == --bind ]]; do binds+=("$2") && shift 2; done
    [[ ${1:-} != -- ]] || shift
    arches=${tarball##*/} arches=${arches#*-} arches=${arches%%-*}
    for arch in ${arches//+/ }; do emulate "$arch"; done
    dir=$(mktemp -d "$ROOTS/run.XXXXXX")
    on_exit "rm -rf --one-file-system $dir"
    tar -C "$dir" -xf "$tarball"
    cp /etc/resolv.conf "$dir/etc/"
    # Its mounts and processes end with it; waited for, so that a signal here ends it too.
    # shellcheck disable=SC2016 # expanded by the inner shell
    unshare --mount --propagation private --pid --fork --kill-child bash -euc '
        dir=$1 count=$2
        mount --bind "$dir" "$dir" # a mount point, as / is, for mounts made inside
        mount -t proc proc "$dir/proc" && mount --rbind /sys "$dir/sys" && mount --rbind /dev "$dir/dev"
        for bind in "${@:3:count}"; do mkdir -p "$dir${bind#*:}" && mount --bind "${bind%%:*}" "$dir${bind#*:}"; done
        chroot "$dir" /usr/bin/env -i HOME=/root LANG=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin \
            ${CI:+CI="$CI"} ${FUZZ_SECONDS:+FUZZ_SECONDS="$FUZZ_SECONDS"} "${@:count+3}"
    ' run-in-root "$dir" "${#binds[@]}" "${binds[@]}" "$@" &
    on_exit "kill $! 2>/dev/null && wait $!"
    wait $!
}

((EUID == 0)) || die "$0 needs root (mmdebstrap, chroot, mounts)"
case ${1:-}/$# in
tarball/[3-9]* | tarball/[1-9][0-9]*) make_tarball "${@:2}" ;;
run/[3-9]* | run/[1-9][0-9]*) run_in_root "${@:2}" ;;
*) die "usage: $0 tarball SUITE ARCH[,ARCH] [MMDEBSTRAP-OPTION...] | run TARBALL [--bind SOURCE:TARGET]... [--] COMMAND..." ;;
esac
