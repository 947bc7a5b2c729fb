#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Installs with apt-get what building and testing libTrelvo needs on Debian 12,
# on x86-64 (amd64) or 64-bit Arm (arm64). Does nothing (and asks no package
# list) when everything is present.
set -euo pipefail

readonly PACKAGES=(
    cmake ninja-build g++ python3         # native build; python3 sums up the test reports
    googletest                            # GoogleTest/GoogleMock sources, built with the project
    libbenchmark-dev                      # Google Benchmark, for benchmarks/
    nlohmann-json3-dev                    # JSON for trelvo-doctor and its tests
    valgrind                              # memory checks
    clang libclang-rt-14-dev              # the fuzzers: clang and its libFuzzer runtime
    file binutils pkgconf dpkg-dev        # checks of the binaries, installed tree and packages
    devscripts abigail-tools              # hardening-check, and the ABI check (abidw, abidiff)
    build-essential debhelper             # the Debian packages (dpkg-buildpackage, debian/)
    lintian man-db                        # the packages' check, and their manual page read back
    reuse                                 # every file states its licence (reuse lint)
    clang-format                          # the sources keep .clang-format's layout (check-format.sh)
    debootstrap                           # minimal Debian roots for the fresh-machine and old-system checks
    git                                   # the reproducibility check clones the commit
)
# What only one architecture needs: on x86-64 the aarch64 cross build, its
# tests under qemu-aarch64, and the arm64 root run by qemu-user-static; on
# either, the other one's C compiler, which builds a foreign object for a test.
readonly PACKAGES_amd64=(
    g++-aarch64-linux-gnu                 # cross build for 64-bit Arm ...
    binutils-aarch64-linux-gnu            # ... its linker and binary tools
    libc6-dev-arm64-cross                 # ... and its C library
    qemu-user                             # runs the aarch64 tests (qemu-aarch64)
    qemu-user-static                      # runs a Debian arm64 root (check-fresh-machine.sh arm64)
)
readonly PACKAGES_arm64=(
    gcc-x86-64-linux-gnu                  # an x86-64 object, foreign to the native build
)

main() {
    local package missing=() sudo=() architecture
    architecture=$(dpkg --print-architecture)
    [[ -v PACKAGES_$architecture ]] || { echo "error: no package list for $architecture (amd64 or arm64)" >&2 && exit 1; }
    local -n own_packages=PACKAGES_$architecture
    for package in "${PACKAGES[@]}" "${own_packages[@]}"; do
        [[ $(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null) == installed ]] ||
            missing+=("$package")
    done
    if ((${#missing[@]} == 0)); then
        echo "Build and test dependencies: all installed."
        return
    fi
    ((EUID == 0)) || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

main "$@"
