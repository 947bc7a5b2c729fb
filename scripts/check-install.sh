#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Checks the installed tree: builds a preset without its tests, installs it
# into a temporary prefix (each component on its own, then all of them with
# the sample implementation), builds the consumers of tests/install against
# that prefix, a C one through pkg-config and a C++ one through
# find_package(Trelvo), and runs them through the installed front end. Exits
# non-zero at the first problem.
#
#   scripts/check-install.sh [native|aarch64]...   (default: both)
set -euo pipefail
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"
make_work_dir check-install

readonly IMPLEMENTATION=libVeltApi_aarch64.so
readonly FRONT_END=libTrelvo_aarch64.so

sample_files() { echo "$1/$IMPLEMENTATION"; }

# Each component installs its own files and nothing else.
check_components() {
    local build=$1 libdir=$2 component
    announce "Components"
    for component in runtime development sample; do
        cmake --install "$build" --prefix "$WORK/$component" --component "$component" >/dev/null
        expect_lines "files below $WORK/$component" \
            "$(cd "$WORK/$component" && find . -type f -printf '%P\n' | LC_ALL=C sort)" \
            "$("${component}_files" "$libdir")"
    done
}

build_c_consumer() {
    local preset=$1 prefix=$2 libdir=$3 compiler=cc cflags libs pcLibdir
    [[ $preset != aarch64 ]] || compiler=aarch64-linux-gnu-gcc
    announce "C consumer through pkg-config"
    local pkgconfig=(env PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig" pkg-config)
    cflags=$("${pkgconfig[@]}" --cflags trelvo)
    libs=$("${pkgconfig[@]}" --libs trelvo)
    pcLibdir=$("${pkgconfig[@]}" --variable=libdir trelvo)
    expect_lines "libdir of trelvo.pc" "$pcLibdir" "$prefix/$libdir"
    # shellcheck disable=SC2086 # the flags are words
    "$compiler" -std=c99 -Wall -Wextra -Werror -pedantic $cflags \
        "$TRELVO_SOURCE_DIR/tests/install/consumer.c" -o "$WORK/c-consumer" \
        $libs -Wl,-rpath,"$pcLibdir"
}

build_cxx_consumer() {
    local preset=$1 prefix=$2 libdir=$3
    announce "C++ consumer through find_package(Trelvo)"
    local options=(-DCMAKE_PREFIX_PATH="$prefix")
    # The cross toolchain confines package searches to its sysroot.
    [[ $preset != aarch64 ]] || options=(
        -DCMAKE_TOOLCHAIN_FILE="$TRELVO_SOURCE_DIR/cmake/toolchain-aarch64.cmake"
        -DTrelvo_DIR="$prefix/$libdir/cmake/Trelvo")
    cmake -S "$TRELVO_SOURCE_DIR/tests/install" -B "$WORK/cxx-consumer" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
    cmake --build "$WORK/cxx-consumer"
}

check_preset() {
    local preset=$1 build=$WORK/build prefix=$WORK/prefix libdir
    rm -rf "${WORK:?}"/*
    RUNNER=()
    [[ $preset != aarch64 ]] || RUNNER=("${AARCH64_EMULATOR[@]}")
    build_preset_into "$preset" "$build"
    libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
    check_components "$build" "$libdir"
    announce "Install into $prefix"
    cmake --install "$build" --prefix "$prefix"
    cmake --install "$build" --prefix "$prefix" --component sample
    expect_runpath "$prefix/$libdir/$FRONT_END"

    build_c_consumer "$preset" "$prefix" "$libdir"
    build_cxx_consumer "$preset" "$prefix" "$libdir"

    local installed=$prefix/$libdir
    expect_machine "$preset" "$installed/$FRONT_END" "$installed/$IMPLEMENTATION" \
        "$WORK/c-consumer" "$WORK/cxx-consumer/trelvo-consumer"
    announce "Run: the implementation beside the installed front end"
    run_consumer "$WORK/c-consumer" "$installed/$IMPLEMENTATION"
    run_consumer "$WORK/cxx-consumer/trelvo-consumer" "$installed/$IMPLEMENTATION"

    announce "Run: Trelvo.conf beside the installed front end names another directory"
    mkdir -p "$WORK/elsewhere"
    cp "$installed/$IMPLEMENTATION" "$WORK/elsewhere/"
    printf 'veltapipath = %s\nignoredefaultsearch = true\n' "$WORK/elsewhere" >"$installed/Trelvo.conf"
    run_consumer "$WORK/c-consumer" "$WORK/elsewhere/$IMPLEMENTATION" TRELVODEBUG=1
    # The installed library logs beside itself.
    local stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},[0-9]{3}'
    grep -Eqx "$stamp Using VELT API from \"$WORK/elsewhere/$IMPLEMENTATION\"" "$installed/Trelvo.log" ||
        die "Trelvo.log lacks the line naming the implementation:"$'\n'"$(cat "$installed/Trelvo.log")"
}

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
for_each_preset check_preset "$@"
