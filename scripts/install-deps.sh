#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Installs with apt-get what building and testing libTrelvo needs on Debian 12.
# Does nothing (and asks no package list) when everything is present.
set -euo pipefail

readonly PACKAGES=(
    cmake ninja-build g++ python3         # native build; python3 sums up the test reports
    g++-aarch64-linux-gnu                 # cross build for 64-bit Arm ...
    binutils-aarch64-linux-gnu            # ... its linker and binary tools
    libc6-dev-arm64-cross                 # ... and its C library
    qemu-user                             # runs the aarch64 tests (qemu-aarch64)
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

main() {
    local package missing=() sudo=()
    for package in "${PACKAGES[@]}"; do
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
