#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Installs the packages of check-packages.sh (as root or through sudo): amd64 with dpkg,
# then arm64 beside it (after dpkg --add-architecture, apt-get its dependencies). For
# each, a C consumer built through pkg-config and a C++ one through find_package(Trelvo),
# with no prefix given, run into the sample (arm64 under qemu-aarch64 -L /); dpkg-shlibdeps
# on the amd64 ones names libtrelvo with a version; trelvo-doctor and its manual page
# work. Then, also after a failure, purges what it installed and the architecture it added.
set -euo pipefail
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"
make_work_dir check-installed-packages
SUDO=()
((EUID == 0)) || SUDO=(sudo)

# Every package dpkg knows of but as not installed: a failed dpkg -i leaves some half-way.
installed() { dpkg-query -W -f='${db:Status-Status} ${binary:Package}\n' | awk '$1 != "not-installed" { print $2 }' | sort; }

# Purges the packages it installed: the project's and arm64 ones (not another's
# that a concurrent apt-get may have installed meanwhile).
restore_machine() {
    announce "Restore the machine"
    comm -13 "$WORK/installed" <(installed) |
        { grep -E '^(libtrelvo|libtrelvo-dev|trelvo-doctor)(:|$)|:arm64$' || true; } |
        xargs -r "${SUDO[@]}" dpkg --purge --force-remove-protected
    [[ -z ${ADDED_ARCHITECTURE:-} ]] || "${SUDO[@]}" dpkg --remove-architecture arm64
    rm -rf "$WORK"
}

# Builds the consumers for amd64 or arm64 with the system's paths, runs them into the sample.
check_consumers() {
    local arch=$1 triplet cc=cc pkgconfig=pkg-config options=() sample
    triplet=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
    [[ $arch == amd64 ]] || {
        cc=$triplet-gcc pkgconfig=$triplet-pkg-config RUNNER=(qemu-aarch64 -L /)
        options=(-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64 -DCMAKE_CXX_COMPILER="$triplet-g++")
    }
    announce "$arch: consumers built against the installed packages"
    # shellcheck disable=SC2046 # the flags are words
    "$cc" -std=c99 -Wall -Wextra -Werror -pedantic $("$pkgconfig" --cflags trelvo) \
        "$TRELVO_SOURCE_DIR/tests/install/consumer.c" -o "$WORK/c-$arch" $("$pkgconfig" --libs trelvo)
    cmake -S "$TRELVO_SOURCE_DIR/tests/install" -B "$WORK/cxx-$arch" -G Ninja "${options[@]}" >/dev/null
    cmake --build "$WORK/cxx-$arch"
    sample=$WORK/debs/sample-$arch/lib/$triplet/libVeltApi_aarch64.so
    run_consumer "$WORK/c-$arch" "$sample" VELT_PATH="${sample%/*}"
    run_consumer "$WORK/cxx-$arch/trelvo-consumer" "$sample" VELT_PATH="${sample%/*}"
}

"$TRELVO_SOURCE_DIR/scripts/check-packages.sh" --output "$WORK/debs"
installed >"$WORK/installed"
trap restore_machine EXIT
announce "Install the amd64 packages"
"${SUDO[@]}" dpkg -i "$WORK"/debs/*_amd64.deb
check_consumers amd64
announce "dpkg-shlibdeps on the amd64 consumers"
mkdir "$WORK/debian" && touch "$WORK/debian/control"
depends=$(cd "$WORK" && dpkg-shlibdeps -O -e c-amd64 -e cxx-amd64/trelvo-consumer 2>/dev/null)
grep -E '[=,] ?libtrelvo \(>= [0-9]' <<<"$depends" || die "no versioned dependency on libtrelvo: $depends"
announce "trelvo-doctor and its manual page"
(cd "$WORK/run" && VELT_PATH=$(dirname "$WORK"/debs/sample-amd64/lib/*/*.so) trelvo-doctor)
man -P cat trelvo-doctor | grep '^EXIT STATUS' || die "man trelvo-doctor shows no manual page"

announce "Install the arm64 libraries beside the amd64 ones"
dpkg --print-foreign-architectures | grep -qx arm64 || ADDED_ARCHITECTURE=arm64
[[ -z ${ADDED_ARCHITECTURE:-} ]] || "${SUDO[@]}" dpkg --add-architecture arm64
"${SUDO[@]}" apt-get update -qq
# What the packages and the consumers need, and the cross pkg-config.
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    libc6:arm64 libstdc++6:arm64 pkgconf:arm64 >/dev/null
"${SUDO[@]}" dpkg -i "$WORK"/debs/libtrelvo{,-dev}_*_arm64.deb
dpkg -s libtrelvo:amd64 libtrelvo:arm64 >/dev/null  # both installed, side by side
check_consumers arm64
announce "Built, installed, built against and run on both architectures in $SECONDS s"
