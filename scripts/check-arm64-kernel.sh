#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The aarch64 build's suite on an arm64 kernel (a Debian 12 system booted by
# qemu-system-aarch64 from a disk image made without a mount) as root, then as
# uid 1000: both pass, and each case skipped in one passed in the other. The
# checks that read the binaries with the host's tools (label host) run here.
#   scripts/check-arm64-kernel.sh    (GUEST_SECONDS: the guest's limit, default 1500)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
readonly BUILD=$TRELVO_SOURCE_DIR/build/aarch64

# PID 1 of the guest: the suite as root, then as uid 1000 owning the tree; then off.
guest() {
    export PATH=/usr/local/bin:/usr/bin:/usr/sbin HOME=/root LANG=C.UTF-8
    for fs in proc:/proc sysfs:/sys devtmpfs:/dev tmpfs:/run; do # /tmp stays on the disk: a tree may lie there
        mountpoint -q "${fs#*:}" || mount -t "${fs%%:*}" "${fs%%:*}" "${fs#*:}"
    done
    suite() {
        SECONDS=0 && echo "==== the suite as $1"
        "${@:2}" ctest --test-dir "$BUILD" -LE '^host$' -j2 --output-on-failure --no-tests=error >"/results/$1.log" 2>&1
        echo "$? $SECONDS" >"/results/$1.status" && tail -n 3 "/results/$1.log"
    }
    suite root
    chown -R 1000:1000 "$BUILD" && suite user setpriv --reuid=1000 --regid=1000 --init-groups env HOME=/home/user
    sync && echo o >/proc/sysrq-trigger && sleep 60
}

# update-initramfs does nothing while the packages go in (their scripts and a
# trigger made it twice, slowly under emulation); then one, for a virt machine.
# shellcheck disable=SC2016 # expanded by the hooks
tarball=$("$TRELVO_SOURCE_DIR/scripts/debian-root.sh" tarball bookworm arm64 \
    --include=linux-image-arm64,cmake,ninja-build,gcc,g++,pkgconf,binutils \
    --essential-hook='dpkg-divert --root "$1" --local --rename --add /usr/sbin/update-initramfs &&
        printf "#!/bin/sh\n" >"$1/usr/sbin/update-initramfs" && chmod +x "$1/usr/sbin/update-initramfs"' \
    --customize-hook='rm "$1/usr/sbin/update-initramfs" && dpkg-divert --root "$1" --local --rename --remove /usr/sbin/update-initramfs &&
        echo MODULES=list >"$1/etc/initramfs-tools/conf.d/virt" && chroot "$1" useradd --create-home --uid 1000 user &&
        printf "%s\n" virtio_mmio virtio_pci virtio_blk ext4 crc32c_generic >>"$1/etc/initramfs-tools/modules" &&
        chroot "$1" update-initramfs -c -k all')

announce "The arm64 system after $SECONDS s: $tarball. The aarch64 build, and its checks with the host's tools"
cd "$TRELVO_SOURCE_DIR" && cmake --preset aarch64 && cmake --build --preset aarch64 && ctest --preset aarch64 -L '^host$'

announce "The disk image: the system, the source and build trees, the guest's init"
work=$(mktemp -d "${TMPDIR:-/var/tmp}/arm64-kernel.XXXXXX") root=$work/root
on_exit "rm -rf --one-file-system $work"
mkdir -p "$root$BUILD" "$root/results" && tar -C "$root" -xf "$tarball" && cp -a "$BUILD/." "$root$BUILD"
tar -C "$TRELVO_SOURCE_DIR" --exclude=./build --exclude=./.git -c . | tar -C "$root$TRELVO_SOURCE_DIR" -x
# shellcheck disable=SC2016 # a stand-in for "qemu-aarch64 -L SYSROOT PROGRAM...": the program itself
printf '#!/bin/sh\n[ "$1" != -L ] || shift 2\nexec "$@"\n' | install /dev/stdin "$root/usr/local/bin/qemu-aarch64"
{ echo '#!/bin/bash' && declare -p BUILD && declare -f guest && echo guest; } | install /dev/stdin "$root/sbin/suite"
mkfs.ext4 -q -d "$root" "$work/disk.img" 4G

announce "Boot, the suite as root and as uid 1000, power off" && SECONDS=0
timeout "${GUEST_SECONDS:-1500}" qemu-system-aarch64 -M virt -cpu cortex-a72 -smp 2 -m 2048 -nographic -no-reboot -nic none \
    -kernel "$(echo "$root"/boot/vmlinuz-*)" -initrd "$(echo "$root"/boot/initrd.img-*)" -drive "file=$work/disk.img,format=raw,if=virtio" \
    -append "root=/dev/vda rw console=ttyAMA0 init=/sbin/suite panic=-1" </dev/null >"$work/console" 2>&1 &
on_exit "kill $! 2>/dev/null"
console_die() { tail -n 40 "$work/console" && die "$@"; }
wait $! || console_die "the guest failed or hung (status $?) after $SECONDS s"
echo "boot to power-off: $SECONDS s" && debugfs -R "rdump /results $work" "$work/disk.img" 2>/dev/null

# Each run's cases whose result line says $2.
cases() { sed -n "s/^.* Test *#[0-9]*: \([^ ]*\) .*$2 .*$/\1/p" "$work/results/$1.log" | sort; }
for run in root user; do
    read -r status seconds <"$work/results/$run.status" || console_die "the guest left no results as $run"
    announce "As $run: ctest's status $status in $seconds s" && sed -n '/tests passed,/,$p' "$work/results/$run.log"
    ((status == 0)) || { faults+="; failed as $run" && cat "$work/results/$run.log"; }
done
for pair in root:user user:root; do
    unrun=$(comm -23 <(cases "${pair%:*}" '\*\*\*Skipped') <(cases "${pair#*:}" ' Passed') | xargs)
    [[ -z $unrun ]] || faults+="; skipped as ${pair%:*}, not passed as ${pair#*:}: $unrun"
done
[[ -z ${faults:-} ]] || die "the suite on the arm64 kernel: ${faults#; }"
