#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Minimal Debian roots (debootstrap --variant=minbase) for checks that need a
# fresh or an older system than this one, or another architecture. They come
# from the archive that this machine's apt uses, since it may have no other
# network. A root of another architecture runs through qemu-user-static,
# registered with binfmt_misc only while a command of this script runs.
# Needs root.
#
#   scripts/debian-root.sh make SUITE[/ARCH] DIR [PACKAGE...]
#       makes DIR a root of SUITE (bookworm, bullseye, ...) for ARCH (default:
#       this machine's) with the packages given, or leaves it as it is when it
#       was made so and is intact. A pristine copy of each suite and
#       architecture, kept in build/roots/, serves later makes.
#   scripts/debian-root.sh run DIR [--bind SOURCE:TARGET]... [--] COMMAND...
#       runs the command in DIR as root, with /proc, /sys and /dev, and each
#       SOURCE bound read-only at TARGET. The mounts live in a private mount
#       namespace, so they are gone when the command ends, however it ends.
#   scripts/debian-root.sh remove DIR
#       removes DIR, but never while anything is mounted under it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

readonly PRISTINE_DIR=$TRELVO_SOURCE_DIR/build/roots
# The stamp that says a root is complete, for which architecture, and with
# which packages.
readonly STAMP=.trelvo-root
readonly BINFMT=/proc/sys/fs/binfmt_misc

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

# Lets this machine run the architecture's programs: nothing for its own;
# for another, qemu-user-static's registration with binfmt_misc, whose F flag
# opens the emulator at once, so that it serves inside a root too. A
# registration is kernel-wide: one without the F flag is replaced only until
# this script exits, then restored; binfmt_misc's mount too.
emulate() {
    local arch=$1 qemu wanted entry
    [[ $arch != "$(dpkg --print-architecture)" ]] || return 0
    case $arch in
    arm64) qemu=aarch64 ;;
    amd64) qemu=x86_64 ;;
    *) die "no emulator known for $arch" ;;
    esac
    wanted=/usr/lib/binfmt.d/qemu-$qemu.conf entry=$BINFMT/qemu-$qemu
    [[ -r $wanted ]] || die "$wanted missing: install qemu-user-static"
    if ! mountpoint -q "$BINFMT"; then
        mount -t binfmt_misc binfmt_misc "$BINFMT"
        on_exit "umount $BINFMT"
    fi
    if [[ -e $entry ]]; then
        ! grep -q '^flags: .*F' "$entry" || return 0
        on_exit "echo '$(registration "$entry")' >$BINFMT/register"
        echo -1 >"$entry"
    fi
    echo "$(<"$wanted")" >"$BINFMT/register"
    on_exit "echo -1 >$entry"
}

# The line that registers a binfmt_misc entry as it stands (magic entries).
registration() {
    awk -v name="${1##*/}" '
        function escaped(hex) { gsub(/../, "\\x&", hex); return hex }
        $1 == "interpreter" { interpreter = $2 }
        $1 == "flags:" { flags = $2 }
        $1 == "offset" { offset = $2 }
        $1 == "magic" { magic = escaped($2) }
        $1 == "mask" { mask = escaped($2) }
        END { printf ":%s:M:%s:%s:%s:%s:%s\n", name, offset, magic, mask, interpreter, flags }' "$1"
}

# Commands run when the script exits, however it exits, the last added first.
UNDO=()
on_exit() {
    UNDO=("$1" "${UNDO[@]}")
    trap 'for undo in "${UNDO[@]}"; do eval "$undo" || true; done' EXIT
    trap 'exit 130' INT TERM HUP
}

# The architecture a root was made for, from its stamp.
root_architecture() { sed -n '1s|^[^/ ]*/\([^ ]*\).*|\1|p' "$1/$STAMP"; }

# Unpacks the pristine minbase root of the suite and architecture into dir,
# debootstrapping it first when there is none yet.
unpack_pristine() {
    local suite=$1 arch=$2 dir=$3 pristine=$PRISTINE_DIR/$1-$2.tar mirror
    if [[ ! -f $pristine ]]; then
        mirror=$(debian_mirror)
        announce "debootstrap --variant=minbase --arch=$arch $suite from $mirror"
        mkdir -p "$PRISTINE_DIR"
        debootstrap --variant=minbase --arch="$arch" "$suite" "$dir" "$mirror"
        tar -C "$dir" -cf "$pristine.partial" . && mv "$pristine.partial" "$pristine"
    else
        announce "Unpacking the pristine $suite $arch root into $dir"
        mkdir -p "$dir" && tar -C "$dir" -xf "$pristine"
    fi
}

make_root() {
    local suite=${1%/*} arch dir=$2 wanted
    arch=$([[ $1 == */* ]] && echo "${1#*/}" || dpkg --print-architecture)
    shift 2
    wanted="$suite/$arch $*"
    if [[ -f $dir/$STAMP && $(<"$dir/$STAMP") == "$wanted" && -x $dir/bin/sh ]]; then
        announce "Root $dir: $suite $arch, made before, reused"
        return
    fi
    remove_root "$dir"
    emulate "$arch"
    unpack_pristine "$suite" "$arch" "$dir"
    if (($# > 0)); then
        echo "$suite/$arch" >"$dir/$STAMP" # the architecture, for run_in_root
        announce "Installing into the $suite $arch root: $*"
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
    [[ -f $dir/$STAMP ]] || die "$dir: not a root made by $0"
    emulate "$(root_architecture "$dir")"
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
make) (($# >= 3)) || die "usage: $0 make SUITE[/ARCH] DIR [PACKAGE...]"; make_root "${@:2}" ;;
run) (($# >= 3)) || die "usage: $0 run DIR [--bind SOURCE:TARGET]... [--] COMMAND..."; run_in_root "${@:2}" ;;
remove) (($# == 2)) || die "usage: $0 remove DIR"; remove_root "$2" ;;
*) die "usage: $0 make SUITE[/ARCH] DIR [PACKAGE...] | run DIR [--bind SOURCE:TARGET]... COMMAND... | remove DIR" ;;
esac
