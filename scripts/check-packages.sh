#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Builds the Debian packages from the source package (debian/) with
# dpkg-buildpackage, each in a copy under build/: natively, which runs the whole
# suite through dh_auto_test, and cross for arm64 (profiles cross and nocheck,
# with arm64's C and C++ runtimes installed the multiarch way). lintian must be
# silent on both .changes. Then installs the amd64 packages and the arm64
# libraries beside them, builds a C consumer through pkg-config and a C++ one
# through find_package(Trelvo) for each architecture against the system paths
# and runs them into the sample implementation (arm64 under qemu-aarch64 -L /);
# dpkg-shlibdeps on the amd64 ones must name libtrelvo with a version, and
# trelvo-doctor and its manual page must work. The packages' own autopkgtest
# then runs in a fresh Debian 12 root. Last, also after a failure, purges what
# it installed and the architecture it added. Needs root.
set -euo pipefail
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"
make_work_dir check-packages
readonly ROOT_SCRIPT=$TRELVO_SOURCE_DIR/scripts/debian-root.sh
readonly AUTOPKGTEST_ROOT=$WORK/autopkgtest-root
((EUID == 0)) || die "$0 needs root: it installs packages"

# Every package dpkg knows of but as not installed: a failed dpkg -i leaves some half-way.
installed() { dpkg-query -W -f='${db:Status-Status} ${binary:Package}\n' | awk '$1 != "not-installed" { print $2 }' | sort; }

# Purges the packages it installed: the project's and arm64 ones (not another's
# that a concurrent apt-get may have installed meanwhile).
restore_machine() {
    announce "Restore the machine"
    "$ROOT_SCRIPT" remove "$AUTOPKGTEST_ROOT"
    comm -13 "$WORK/installed" <(installed) |
        { grep -E '^(libtrelvo|libtrelvo-dev|trelvo-doctor)(:|$)|:arm64$' || true; } |
        xargs -r dpkg --purge --force-remove-protected
    [[ -z ${ADDED_ARCHITECTURE:-} ]] || dpkg --remove-architecture arm64
    rm -rf "$WORK"
}

# lintian prints nothing for packages without a fault (but its notice that it runs as root).
check_lintian() {
    local report
    announce "lintian $1"
    report=$(lintian --fail-on error,warning "$1" 2>&1) || die "lintian: $report"
    report=$(grep -vx 'running with root privileges is not recommended!' <<<"$report" || true)
    [[ -z $report ]] || die "lintian: $report"
}

# The binary packages built for the architecture, and the runtime's RUNPATH.
check_built() {
    local arch=$1 dir=$WORK/$1
    expect_lines "packages in $dir" "$(cd "$dir" && printf '%s\n' *.deb | sed 's/_.*_/ /')" \
        "$(printf '%s '"$arch"'.deb\n' libtrelvo-dbgsym libtrelvo-dev libtrelvo trelvo-doctor-dbgsym trelvo-doctor)"
    dpkg-deb -x "$dir/libtrelvo_${DEBIAN_VERSION}_$arch.deb" "$dir/extracted"
    expect_runpath "$dir/extracted"/usr/lib/*/libTrelvo_aarch64.so
    check_lintian "$dir/libtrelvo_${DEBIAN_VERSION}_$arch.changes"
}

# Builds the consumers for amd64 or arm64 with the system's paths, and the sample
# implementation from the sources, and runs them into it.
check_consumers() {
    local arch=$1 triplet cc=cc pkgconfig=pkg-config options=() sample
    triplet=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
    [[ $arch == amd64 ]] || {
        cc=$triplet-gcc pkgconfig=$triplet-pkg-config RUNNER=(qemu-aarch64 -L /)
        options=(-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64 -DCMAKE_CXX_COMPILER="$triplet-g++")
    }
    announce "$arch: consumers built against the installed packages"
    sample=$WORK/sample-$arch/libVeltApi_aarch64.so
    mkdir "${sample%/*}"
    "$cc" -shared -fPIC -fvisibility=hidden -o "$sample" "$TRELVO_SOURCE_DIR/examples/sample-implementation/VeltApiSample.c"
    # shellcheck disable=SC2046 # the flags are words
    "$cc" -std=c99 -Wall -Wextra -Werror -pedantic $("$pkgconfig" --cflags trelvo) \
        "$TRELVO_SOURCE_DIR/tests/install/consumer.c" -o "$WORK/c-$arch" $("$pkgconfig" --libs trelvo)
    cmake -S "$TRELVO_SOURCE_DIR/tests/install" -B "$WORK/cxx-$arch" -G Ninja "${options[@]}" >/dev/null
    cmake --build "$WORK/cxx-$arch"
    run_consumer "$WORK/c-$arch" "$sample" VELT_PATH="${sample%/*}"
    run_consumer "$WORK/cxx-$arch/trelvo-consumer" "$sample" VELT_PATH="${sample%/*}"
}

# The tests of debian/tests against the amd64 packages, in a fresh Debian 12 root:
# autopkgtest's null server installs the test dependencies where it runs.
run_autopkgtest() {
    announce "autopkgtest in a fresh Debian 12 root"
    "$ROOT_SCRIPT" make bookworm "$AUTOPKGTEST_ROOT" autopkgtest
    "$ROOT_SCRIPT" run "$AUTOPKGTEST_ROOT" --bind "$WORK/amd64:/packages" -- \
        autopkgtest "/packages/libtrelvo_${DEBIAN_VERSION}_amd64.changes" -- null
}

main() {
    local started=$SECONDS
    "$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
    installed >"$WORK/installed"
    trap restore_machine EXIT

    build_source_package "$WORK/amd64" "libtrelvo-$UPSTREAM_VERSION"
    check_built amd64
    announce "Native build and its suite: $((SECONDS - started)) s"

    announce "arm64's C and C++ runtimes beside the machine's, for the cross build"
    dpkg --print-foreign-architectures | grep -qx arm64 || ADDED_ARCHITECTURE=arm64
    [[ -z ${ADDED_ARCHITECTURE:-} ]] || dpkg --add-architecture arm64
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        libc6:arm64 libstdc++6:arm64 pkgconf:arm64 >/dev/null
    build_source_package "$WORK/arm64" "libtrelvo-$UPSTREAM_VERSION" -a arm64 -Pcross,nocheck
    check_built arm64

    announce "Install the amd64 packages"
    dpkg -i "$WORK"/amd64/{libtrelvo,libtrelvo-dev,trelvo-doctor}_*.deb
    check_consumers amd64
    announce "dpkg-shlibdeps on the amd64 consumers"
    mkdir "$WORK/debian" && touch "$WORK/debian/control"
    depends=$(cd "$WORK" && dpkg-shlibdeps -O -e c-amd64 -e cxx-amd64/trelvo-consumer 2>/dev/null)
    grep -E '[=,] ?libtrelvo \(>= [0-9]' <<<"$depends" || die "no versioned dependency on libtrelvo: $depends"
    announce "trelvo-doctor and its manual page"
    (cd "$WORK/run" && VELT_PATH=$WORK/sample-amd64 trelvo-doctor)
    man -P cat trelvo-doctor | grep '^EXIT STATUS' || die "man trelvo-doctor shows no manual page"

    announce "Install the arm64 libraries beside the amd64 ones"
    dpkg -i "$WORK"/arm64/libtrelvo{,-dev}_*_arm64.deb
    dpkg -s libtrelvo:amd64 libtrelvo:arm64 >/dev/null # both installed, side by side
    check_consumers arm64

    run_autopkgtest
    announce "Built, checked, installed, built against and run on both architectures in $((SECONDS - started)) s"
}

main "$@"
