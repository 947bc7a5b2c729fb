#!/usr/bin/env bash
# Installs with apt-get what building and testing libTrelvo needs on Debian 12.
# Does nothing (and asks no package list) when everything is present.
set -euo pipefail

readonly PACKAGES=(
    cmake ninja-build g++                 # native build
    g++-aarch64-linux-gnu                 # cross build for 64-bit Arm ...
    binutils-aarch64-linux-gnu            # ... its linker and binary tools
    libc6-dev-arm64-cross                 # ... and its C library
    qemu-user                             # runs the aarch64 tests (qemu-aarch64)
    googletest                            # GoogleTest/GoogleMock sources, built with the project
    libbenchmark-dev                      # Google Benchmark, for benchmarks/
    valgrind                              # memory checks
    clang libclang-rt-14-dev              # the fuzzers: clang and its libFuzzer runtime
    file binutils                         # checks of the built binaries (file, readelf)
    pkgconf dpkg-dev                      # checks of the installed tree and the Debian packages
)

is_installed() {
    [[ $(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) == installed ]]
}

missing_packages() {
    local package
    for package in "${PACKAGES[@]}"; do
        is_installed "$package" || printf '%s\n' "$package"
    done
}

# Prints the command prefix that gives root rights, or fails saying what to run.
root_prefix() {
    if ((EUID == 0)); then
        return
    fi
    if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
        echo sudo
        return
    fi
    {
        echo "error: these packages are missing and installing them needs root:"
        echo "    $*"
        echo "Run as root (or with sudo):"
        echo "    apt-get update && apt-get install -y --no-install-recommends $*"
    } >&2
    return 1
}

main() {
    command -v dpkg-query >/dev/null ||
        { echo "error: needs a Debian system with apt-get; install by hand: ${PACKAGES[*]}" >&2; exit 1; }
    local missing
    mapfile -t missing < <(missing_packages)
    if ((${#missing[@]} == 0)); then
        echo "Build and test dependencies: all installed."
        return
    fi
    local sudo
    sudo=$(root_prefix "${missing[@]}")
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update
    $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

main "$@"
